# The tint's row kernels. Only the AVX2 and AVX-512 files are built for those
# instruction sets; each runs only where the dispatcher found them and OS
# support for their registers.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|i.86|AMD64|amd64|x86_64)$")
    set(QV_AVX_KERNELS colorize/TintKernelAvx2.cpp colorize/TintKernelAvx512.cpp)
    set_source_files_properties(colorize/TintKernelAvx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
    set_source_files_properties(colorize/TintKernelAvx512.cpp PROPERTIES COMPILE_OPTIONS
                                "-mavx512f;-mavx512bw;-mavx512vl")
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # GCC 12's AVX-512 headers start many results from a self-initialised
        # "undefined" vector, which its own warning then reports.
        set_property(SOURCE colorize/TintKernelAvx512.cpp APPEND PROPERTY COMPILE_OPTIONS -Wno-maybe-uninitialized)
    endif()
    if(WIN32)
        # The Windows ABIs give no 32- or 64-byte stack alignment for spilled
        # vectors: let the assembler emit unaligned moves instead
        # (CheckAvxConfined.sh checks the objects).
        set_property(SOURCE ${QV_AVX_KERNELS} APPEND PROPERTY COMPILE_OPTIONS "-Wa,-muse-unaligned-vector-move")
    endif()
endif()
# The literal kernel is the reference the benchmark measures against and
# the tail of the vector kernels: it stays one pixel at a time.
set_source_files_properties(colorize/TintKernelScalar.cpp PROPERTIES COMPILE_OPTIONS "-fno-tree-vectorize")
