# The tint's row kernels. Only the AVX2 file is built for AVX2; it runs only
# where the dispatcher found AVX2 and OS support for the YMM registers.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|i.86|AMD64|amd64|x86_64)$")
    set_source_files_properties(colorize/TintKernelAvx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
    if(WIN32)
        # The Windows ABIs give no 32-byte stack alignment for spilled YMM
        # registers: let the assembler emit unaligned moves instead.
        set_property(SOURCE colorize/TintKernelAvx2.cpp APPEND PROPERTY COMPILE_OPTIONS "-Wa,-muse-unaligned-vector-move")
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # A 32-bit host may call in with a stack aligned to 4 bytes only.
        set_property(SOURCE colorize/TintKernelSse2.cpp colorize/TintKernelAvx2.cpp APPEND PROPERTY COMPILE_OPTIONS
                     "-mstackrealign")
    endif()
endif()
# The literal kernel is the reference the benchmark measures against and
# the tail of the vector kernels: it stays one pixel at a time.
set_source_files_properties(colorize/TintKernelScalar.cpp PROPERTIES COMPILE_OPTIONS "-fno-tree-vectorize")
