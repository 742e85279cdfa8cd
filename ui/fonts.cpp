#include "fonts.h"

#include "control_table.h"
#include "dpi.h"
#include "failure_win32.h"

namespace tarnwick {

UniqueHfont CreateStandardFont(int dpi) {
    const LOGFONTW message = MessageFontForDpi(dpi);
    UniqueHfont font(CreateFontIndirectW(&message));
    if (!font) throw FailureFromLastError(E_OUTOFMEMORY);
    return font;
}

UniqueHfont CreateLinkFont(int dpi) {
    LOGFONTW link{};
    link.lfHeight = -FontPixelHeight(kLinkFontHundredthsOfPoint, dpi);  // negative: character height
    link.lfWeight = kLinkFontWeight;
    link.lfUnderline = TRUE;
    link.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(link.lfFaceName, kLinkFontFace, LF_FACESIZE);
    UniqueHfont font(CreateFontIndirectW(&link));
    if (!font) throw FailureFromLastError(E_OUTOFMEMORY);
    return font;
}

}  // namespace tarnwick
