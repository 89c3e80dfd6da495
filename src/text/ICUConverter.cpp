#include "text/ICUConverter.hpp"

#include <DOMKw/text/TextConversion.hpp>

#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace ZuText {

namespace {

constexpr uint32_t kIcuLimit = INT32_MAX; // ICU counts in int32_t

// A copy of the converter with all its state, so that a failed call can be undone.
UConverter* snapshotOf(const UConverter* converter) {
    UErrorCode error = U_ZERO_ERROR;
#if U_ICU_VERSION_MAJOR_NUM >= 71
    UConverter* copy = ucnv_clone(converter, &error);
#else
    char tooSmall[1];
    int32_t size = sizeof tooSmall; // makes ICU allocate the copy on the heap
    UConverter* copy = ucnv_safeClone(converter, tooSmall, &size, &error);
#endif
    if (U_FAILURE(error)) {
        if (copy) ucnv_close(copy);
        return nullptr;
    }
    return copy;
}

} // namespace

ICUConverter::ICUConverter(uint32_t encoding, Direction direction, bool useFallback, bool substitute,
                           const char* substChars, uint32_t substLength)
    : BaseConverter(encoding, direction, substitute) {
    const char* name = GetEncodingName(encoding);
    if (!name) return; // ucnv_open(nullptr) would open the platform default instead
    UErrorCode error = U_ZERO_ERROR;
    fConverter = ucnv_open(name, &error);
    if (U_FAILURE(error) && std::strcmp(name, "windows-932-2000") == 0) {
        // ICU builds have the tables of Windows code pages 936, 949 and 950 under their "-2000" names,
        // but code page 932 only as "windows-932": without it, Japanese text (and the system default of
        // a Japanese system) could not be converted at all.
        error = U_ZERO_ERROR;
        fConverter = ucnv_open("windows-932", &error);
    }
    if (U_FAILURE(error)) {
        fConverter = nullptr;
        return;
    }
    if (!toUnicode() && substChars && substLength != 0 && substLength <= 127 &&
        substLength >= static_cast<uint32_t>(ucnv_getMinCharSize(fConverter))) {
        UErrorCode substError = U_ZERO_ERROR; // ICU itself refuses more than the maximum character size
        ucnv_setSubstChars(fConverter, substChars, static_cast<int8_t>(substLength), &substError);
    }
    error = U_ZERO_ERROR;
    if (toUnicode())
        ucnv_setToUCallBack(fConverter, substitute ? substituteToUnicode : UCNV_TO_U_CALLBACK_STOP,
                            substitute ? this : nullptr, nullptr, nullptr, &error);
    else
        ucnv_setFromUCallBack(fConverter, substitute ? substituteFromUnicode : UCNV_FROM_U_CALLBACK_STOP,
                              substitute ? this : nullptr, nullptr, nullptr, &error);
    ucnv_setFallback(fConverter, useFallback);
}

ICUConverter::~ICUConverter() {
    if (fConverter) ucnv_close(fConverter);
}

void U_CALLCONV ICUConverter::substituteToUnicode(const void* context, UConverterToUnicodeArgs* args,
                                                  const char* codeUnits, int32_t length,
                                                  UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR || length <= 0) return; // reset, close, clone
    static_cast<ICUConverter*>(const_cast<void*>(context))->fSubstituted = true;
    UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, error);
}

void U_CALLCONV ICUConverter::substituteFromUnicode(const void* context, UConverterFromUnicodeArgs* args,
                                                    const UChar* codeUnits, int32_t length, UChar32 codePoint,
                                                    UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR || length <= 0) return;
    static_cast<ICUConverter*>(const_cast<void*>(context))->fSubstituted = true;
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, error);
}

int32_t ICUConverter::pending() const {
    UErrorCode error = U_ZERO_ERROR;
    const int32_t count =
        toUnicode() ? ucnv_toUCountPending(fConverter, &error) : ucnv_fromUCountPending(fConverter, &error);
    return U_SUCCESS(error) && count > 0 ? count : 0;
}

bool ICUConverter::isStateful() const {
    switch (ucnv_getType(fConverter)) {
    case UCNV_ISO_2022:
    case UCNV_EBCDIC_STATEFUL:
    case UCNV_UTF7:
    case UCNV_IMAP_MAILBOX:
    case UCNV_HZ:
    case UCNV_SCSU:
    case UCNV_BOCU1:
    case UCNV_LMBCS_1:
    case UCNV_LMBCS_2:
    case UCNV_LMBCS_3:
    case UCNV_LMBCS_4:
    case UCNV_LMBCS_5:
    case UCNV_LMBCS_6:
    case UCNV_LMBCS_8:
    case UCNV_LMBCS_11:
    case UCNV_LMBCS_16:
    case UCNV_LMBCS_17:
    case UCNV_LMBCS_18:
    case UCNV_LMBCS_19:
        return true;
    default:
        return false;
    }
}

uint64_t ICUConverter::worstCase(uint64_t units) const {
    // A stateful encoding also writes shift sequences, and the one back to the initial state when the text
    // ends; ICU allows ten characters for them (UCNV_GET_MAX_BYTES_FOR_STRING).
    if (toUnicode()) return units * 2 / static_cast<uint64_t>(ucnv_getMinCharSize(fConverter)) + 1;
    if (isStateful()) units += 10;
    return static_cast<uint64_t>(ucnv_getMaxCharSize(fConverter)) * units + 1;
}

Status ICUConverter::ConvertBuffer(const void* source, uint32_t& sourceLength, void* target,
                                   uint32_t& targetLength, bool flush, int32_t* offsets) {
    if (Status refused = refuseBuffer(fConverter != nullptr, source, sourceLength, target, targetLength, offsets))
        return refused;

    fSubstituted = false;
    const uint32_t length = std::min(sourceLength, kIcuLimit);
    const uint32_t capacity = std::min(targetLength, kIcuLimit);
    const int32_t pendingBefore = pending();
    // Only a call that may run out of room needs a way back.
    const bool mayOverflow =
        worstCase(static_cast<uint64_t>(length) + static_cast<uint64_t>(pendingBefore)) > capacity;
    UConverter* snapshot = mayOverflow ? snapshotOf(fConverter) : nullptr;
    int32_t* icuOffsets = nullptr;
    if (offsets) {
        fOffsets.resize(capacity);
        icuOffsets = fOffsets.data();
    }

    UErrorCode error = U_ZERO_ERROR;
    ptrdiff_t read = 0, written = 0;
    if (toUnicode()) {
        const char* in = static_cast<const char*>(source);
        const char* const inStart = in;
        UChar* out = static_cast<UChar*>(target);
        UChar* const outStart = out;
        // One unit short of the capacity: the terminator always fits.
        ucnv_toUnicode(fConverter, &out, out + capacity - 1, &in, in + length, icuOffsets, flush, &error);
        read = in - inStart;
        written = out - outStart;
    } else {
        const UChar* in = static_cast<const UChar*>(source);
        const UChar* const inStart = in;
        char* out = static_cast<char*>(target);
        char* const outStart = out;
        ucnv_fromUnicode(fConverter, &out, out + capacity - 1, &in, in + length, icuOffsets, flush, &error);
        read = in - inStart;
        written = out - outStart;
    }

    Status status;
    int32_t badLength = 0;
    if (U_FAILURE(error)) {
        const bool badSequence =
            error == U_INVALID_CHAR_FOUND || error == U_TRUNCATED_CHAR_FOUND || error == U_ILLEGAL_CHAR_FOUND;
        if (fSubstitute || !badSequence) {
            // Nothing is reported consumed, so the converter must not keep what it took in either: a retry
            // with more room would otherwise repeat or lose text.
            if (snapshot) {
                ucnv_close(fConverter);
                fConverter = snapshot;
            } else if (toUnicode()) {
                ucnv_resetToUnicode(fConverter);
            } else {
                ucnv_resetFromUnicode(fConverter);
            }
            return fail(error == U_BUFFER_OVERFLOW_ERROR ? kNoRoom : kConversionError, target, sourceLength,
                        targetLength, offsets);
        }
        // Stop mode at an invalid, unassigned or truncated sequence.
        uint32_t room = kMaxInvalidChars;
        if (toUnicode()) {
            char bad[kMaxInvalidChars];
            if (GetInvalidChars(bad, room) == kConverted) badLength = static_cast<int32_t>(room);
        } else {
            char16_t bad[kMaxInvalidChars];
            if (GetInvalidChars(bad, room) == kConverted) badLength = static_cast<int32_t>(room);
        }
        status = kStopped;
    } else {
        const bool held = pending() > 0;
        status = fSubstituted ? (held ? kSubstitutedPending : kSubstituted) : (held ? kPending : kConverted);
    }
    if (snapshot) ucnv_close(snapshot);

    // The invalid sequence is not consumed; when it began in units held back from an earlier call, the
    // resume point is the start of this source.
    const ptrdiff_t consumed = std::max<ptrdiff_t>(0, read - badLength);
    if (toUnicode())
        static_cast<char16_t*>(target)[written] = 0;
    else
        static_cast<char*>(target)[written] = 0;
    sourceLength = static_cast<uint32_t>(consumed);
    targetLength = static_cast<uint32_t>(written + 1);
    if (offsets) {
        for (ptrdiff_t i = 0; i < written; ++i)
            offsets[i] = icuOffsets[i] < 0 ? 0 : icuOffsets[i] + pendingBefore;
    }
    return status;
}

Status ICUConverter::ConvertCharacter(const void* source, uint32_t& sourceLength, void* target,
                                      uint32_t& targetLength, bool flush) {
    uint32_t length = characterLength(source, sourceLength);
    const Status status = Convert(source, length, target, targetLength, flush);
    sourceLength = length;
    return status;
}

Status ICUConverter::Reset() {
    if (!fConverter) return kQueryFailed;
    ucnv_reset(fConverter);
    return kConverted;
}

Status ICUConverter::UsesFallback(bool& usesFallback) const {
    if (!fConverter) return kQueryFailed;
    usesFallback = ucnv_usesFallback(fConverter);
    return kConverted;
}

Status ICUConverter::GetSubstitutionChars(char* chars, uint32_t& length) const {
    if (!fConverter || !chars) return kQueryFailed;
    int8_t room = static_cast<int8_t>(std::min<uint32_t>(length, 127));
    UErrorCode error = U_ZERO_ERROR;
    ucnv_getSubstChars(fConverter, chars, &room, &error);
    if (U_FAILURE(error)) return kQueryFailed;
    length = static_cast<uint32_t>(room);
    return kConverted;
}

Status ICUConverter::CountPending(uint32_t& count) const {
    if (!fConverter) return kQueryFailed;
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n =
        toUnicode() ? ucnv_toUCountPending(fConverter, &error) : ucnv_fromUCountPending(fConverter, &error);
    if (U_FAILURE(error) || n < 0) return kQueryFailed;
    count = static_cast<uint32_t>(n);
    return kConverted;
}

Status ICUConverter::GetMaxOutputSize(uint32_t inputLength, uint32_t& size) const {
    if (!fConverter) return kQueryFailed;
    uint32_t held = 0;
    if (CountPending(held) != kConverted) return kQueryFailed;
    const uint64_t worst = worstCase(static_cast<uint64_t>(held) + inputLength);
    if (worst > UINT32_MAX) return kQueryFailed;
    size = static_cast<uint32_t>(worst);
    return kConverted;
}

Status ICUConverter::GetInvalidChars(void* chars, uint32_t& length) const {
    if (!fConverter || !chars) return kQueryFailed;
    int8_t room = static_cast<int8_t>(std::min(length, kMaxInvalidChars));
    UErrorCode error = U_ZERO_ERROR;
    if (toUnicode())
        ucnv_getInvalidChars(fConverter, static_cast<char*>(chars), &room, &error);
    else
        ucnv_getInvalidUChars(fConverter, static_cast<UChar*>(chars), &room, &error);
    if (U_FAILURE(error)) return kQueryFailed;
    length = static_cast<uint32_t>(room);
    return kConverted;
}

Status ICUConverter::GetCharSizeInfo(uint8_t& minSize, uint8_t& maxSize, uint8_t starters[256]) const {
    if (!fConverter || !starters) return kQueryFailed;
    minSize = static_cast<uint8_t>(ucnv_getMinCharSize(fConverter));
    maxSize = static_cast<uint8_t>(ucnv_getMaxCharSize(fConverter));
    UBool icuStarters[256];
    UErrorCode error = U_ZERO_ERROR;
    ucnv_getStarters(fConverter, icuStarters, &error);
    for (int i = 0; i < 256; ++i) starters[i] = U_SUCCESS(error) && icuStarters[i] ? 1 : 0;
    return kConverted;
}

} // namespace ZuText
