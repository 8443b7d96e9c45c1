#include "ui/SaveFailureMessage.h"

#include <cwchar>

#include "plugin/FloatState.h"

namespace {

// The system's words for error, without the line break they end with. A
// fixed buffer: when memory runs out, there is nothing to allocate one from.
void SystemReason(wchar_t* reason, int size, bool japanese, DWORD error) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const WORD language =
        japanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT) : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    // The system may lack the message in that language: then in its own.
    DWORD n = FormatMessageW(flags, nullptr, error, language, reason, static_cast<DWORD>(size), nullptr);
    if (n == 0) n = FormatMessageW(flags, nullptr, error, 0, reason, static_cast<DWORD>(size), nullptr);
    if (n == 0) {
        std::swprintf(reason, static_cast<size_t>(size), japanese ? L"エラー %lu" : L"Error %lu",
                      static_cast<unsigned long>(error));
        return;
    }
    while (n > 0 && (reason[n - 1] == L'\r' || reason[n - 1] == L'\n' || reason[n - 1] == L' ')) reason[--n] = L'\0';
}

void FormatSaveFailure(wchar_t* text, int size, bool japanese, const SaveFailure& failure, const TintSettings& held) {
    wchar_t reason[256];
    SystemReason(reason, 256, japanese, failure.error);
    std::swprintf(text, static_cast<size_t>(size),
                  japanese ? L"設定をファイルに保存できませんでした。\n\n%ls\n%ls\n\n"
                             L"選んだ位置（X %d、Y %d）は、ペイントソフトを終了するまで、"
                             L"または次に保存できるまで使われます。"
                           : L"The settings could not be saved to the file:\n\n%ls\n%ls\n\n"
                             L"The position you chose (X %d, Y %d) stays in use until the paint program is "
                             L"closed, or until the settings can be saved.",
                  failure.path, reason, static_cast<int>(held.x), static_cast<int>(held.y));
    if (!failure.mixed) return;
    const size_t used = std::wcslen(text);
    std::swprintf(text + used, static_cast<size_t>(size) - used,
                  japanese ? L"\n\nファイルを元に戻すこともできませんでした。ファイルには X %d、Y %d が書かれていて、"
                             L"次にプラグインを読み込むとこの位置から始まります。"
                           : L"\n\nThe file could not be put back as it was either: it now holds X %d, Y %d, where "
                             L"the plug-in starts when it is next loaded.",
                  static_cast<int>(failure.fileX), static_cast<int>(failure.fileY));
}

}  // namespace

void ShowSaveFailure(HWND dialog, bool japanese, const SaveFailure& failure, const TintSettings& held) {
    wchar_t text[MAX_PATH + 768];
    FormatSaveFailure(text, MAX_PATH + 768, japanese, failure, held);
    // Its loop runs the host's windows too.
    HostFloatState hostState;
    MessageBoxW(dialog, text, japanese ? L"単色効果" : L"Colorize", MB_OK | MB_ICONWARNING);
}
