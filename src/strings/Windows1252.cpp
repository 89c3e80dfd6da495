#include "strings/Windows1252.hpp"

#include <unicode/ucnv.h>

namespace Kw::strings {

void toWindows1252(const XMLCh* source, long length, unsigned char* target, long capacity) {
    if (capacity <= 0) return;
    target[0] = 0;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("windows-1252", &status);
    if (U_FAILURE(status)) return;
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    char* out = reinterpret_cast<char*>(target);
    const UChar* in = reinterpret_cast<const UChar*>(source);
    // Leave one byte for the terminating zero.
    ucnv_fromUnicode(cnv, &out, out + capacity - 1, &in, in + length, nullptr, true, &status);
    *out = 0;
    ucnv_close(cnv);
}

} // namespace Kw::strings
