#include "ts/AribText.h"

#include "ts/JisX0208.h"
#include "ts/Utf8.h"

namespace {

constexpr uint8_t Space = 0x20;
constexpr uint8_t LockingShift0 = 0x0F;
constexpr uint8_t LockingShift1 = 0x0E;
constexpr uint8_t SingleShift2 = 0x19;
constexpr uint8_t SingleShift3 = 0x1D;
constexpr uint8_t EscapeCode = 0x1B;
constexpr uint8_t Papf = 0x16;  // one parameter
constexpr uint8_t Aps = 0x1C;   // two parameters
constexpr uint8_t HiraganaRow = 4;
constexpr uint8_t KatakanaRow = 5;

// 0x21-0x7E in GL or 0xA1-0xFE in GR.
bool IsGraphic(uint8_t byte) { return (byte & 0x7F) >= 0x21 && (byte & 0x7F) <= 0x7E; }

// Shared tail of the hiragana and katakana sets (0x79-0x7E); 0x77 and 0x78
// hold the set's own iteration marks.
uint32_t KanaTail(uint8_t code, uint32_t iteration, uint32_t voicedIteration) {
    static const uint32_t tail[] = {0x30FC, 0x3002, 0x300C, 0x300D, 0x3001, 0x30FB};
    if (code == 0x77) return iteration;
    if (code == 0x78) return voicedIteration;
    return tail[code - 0x79];
}

// The kana sets put the kana of their JIS X 0208 row at the same cells.
uint32_t Kana(uint8_t code, uint8_t row, uint8_t lastOfRow, uint32_t iteration, uint32_t voiced) {
    if (code <= lastOfRow) return JisX0208ToUnicode(row, code - 0x20u);
    if (code >= 0x77) return KanaTail(code, iteration, voiced);
    return 0;
}

// The alphanumeric set: ASCII but for yen and overline.
uint32_t Alphanumeric(uint8_t code) {
    if (code == 0x5C) return 0x00A5;
    if (code == 0x7E) return 0x203E;
    return code;
}

// The alphanumeric code of a character, 0 when the set has none.
uint8_t AlphanumericCode(uint32_t codePoint) {
    if (codePoint == 0x00A5) return 0x5C;
    if (codePoint == 0x203E) return 0x7E;
    if (codePoint < 0x21 || codePoint > 0x7E || codePoint == 0x5C || codePoint == 0x7E) return 0;
    return static_cast<uint8_t>(codePoint);
}

// Appends one character, shifting GL between G0 (Kanji) and G1 (alphanumeric).
bool EncodeCharacter(uint32_t codePoint, size_t* gl, std::vector<uint8_t>* bytes) {
    if (codePoint == Space) {
        bytes->push_back(Space);
        return true;
    }
    uint8_t row = 0, cell = 0;
    if (const uint8_t code = AlphanumericCode(codePoint)) {
        if (*gl != 1) bytes->push_back(LockingShift1);
        *gl = 1;
        bytes->push_back(code);
    } else if (UnicodeToJisX0208(codePoint, &row, &cell)) {
        if (*gl != 0) bytes->push_back(LockingShift0);
        *gl = 0;
        bytes->push_back(static_cast<uint8_t>(row + 0x20));
        bytes->push_back(static_cast<uint8_t>(cell + 0x20));
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool AribText::Decode(const uint8_t* data, size_t size, std::string* text) {
    text->clear();
    if (size == 0) return true;
    if (!data) return false;
    AribText decoder(data, size);
    if (decoder.Run(text)) return true;
    text->clear();
    return false;
}

AribName AribText::Read(const uint8_t* data, size_t size) {
    AribName name;
    if (data) name.Bytes.assign(data, data + size);
    name.Decoded = Decode(data, size, &name.Text);
    if (!name.Decoded) name.Text = Hex(data, size);
    return name;
}

std::string AribText::Hex(const uint8_t* data, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; data && i < size; ++i) {
        if (i > 0) hex.push_back(' ');
        hex.push_back(digits[data[i] >> 4]);
        hex.push_back(digits[data[i] & 0x0F]);
    }
    return hex;
}

bool AribText::Encode(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    size_t at = 0, gl = 0;
    uint32_t codePoint = 0;
    while (at < text.size()) {
        if (!NextUtf8(text, &at, &codePoint) || !EncodeCharacter(codePoint, &gl, bytes)) {
            bytes->clear();
            return false;
        }
    }
    return true;
}

bool AribText::Run(std::string* text) {
    while (at_ < size_)
        if (!Step(text)) return false;
    return singleShift_ < 0;  // a single shift must lend its set to a character
}

bool AribText::Step(std::string* text) {
    const uint8_t byte = data_[at_++];
    if (IsGraphic(byte)) {
        const size_t g = singleShift_ >= 0 ? static_cast<size_t>(singleShift_) : (byte < 0x80 ? gl_ : gr_);
        singleShift_ = -1;
        return Graphic(g_[g], byte, text);
    }
    if (singleShift_ >= 0) return false;
    if (byte == Space) {
        text->push_back(' ');
        return true;
    }
    if (byte < 0x20) return Control0(byte);
    if (byte >= 0x80 && byte < 0xA0) return Control1(byte);
    return false;  // DEL, 0xA0 and 0xFF stand for no character
}

bool AribText::Graphic(Set set, uint8_t first, std::string* text) {
    const uint8_t code = first & 0x7F;
    uint32_t codePoint = 0;
    switch (set) {
    case Set::Kanji: {
        uint8_t second = 0;
        if (!Take(&second) || !IsGraphic(second) || (second & 0x80) != (first & 0x80)) return false;
        codePoint = JisX0208ToUnicode(code - 0x20u, (second & 0x7Fu) - 0x20u);
        break;
    }
    case Set::Alphanumeric:
        codePoint = Alphanumeric(code);
        break;
    case Set::Hiragana:
        codePoint = Kana(code, HiraganaRow, 0x73, 0x309D, 0x309E);
        break;
    case Set::Katakana:
        codePoint = Kana(code, KatakanaRow, 0x76, 0x30FD, 0x30FE);
        break;
    case Set::HalfwidthKatakana:
        codePoint = code <= 0x5F ? 0xFF61u + (code - 0x21u) : 0;
        break;
    case Set::Unknown:
        break;
    }
    return codePoint != 0 && AppendUtf8(codePoint, text);
}

bool AribText::Control0(uint8_t code) {
    switch (code) {
    case LockingShift0:
        gl_ = 0;
        return true;
    case LockingShift1:
        gl_ = 1;
        return true;
    case SingleShift2:
        singleShift_ = 2;
        return true;
    case SingleShift3:
        singleShift_ = 3;
        return true;
    case EscapeCode:
        return Escape();
    case Papf:
        return SkipParameters(1);
    case Aps:
        return SkipParameters(2);
    case 0x00:  // NUL
    case 0x07:  // BEL
    case 0x18:  // CAN
    case 0x1E:  // RS
    case 0x1F:  // US
        return true;
    default:
        return code >= 0x08 && code <= 0x0D;  // cursor moves, clear screen, new line
    }
}

bool AribText::Control1(uint8_t code) {
    if (code <= 0x8A) return true;  // foreground colours, character sizes
    switch (code) {
    case 0x8B:  // SZX
    case 0x91:  // FLC
    case 0x93:  // POL
    case 0x94:  // WMM
    case 0x97:  // HLC
    case 0x98:  // RPC
        return SkipParameters(1);
    case 0x90:  // COL
    case 0x92:  // CDC
        return SkipExtendedParameter();
    case 0x99:  // SPL
    case 0x9A:  // STL
        return true;
    case 0x9B:
        return SkipCsi();
    case 0x9D:
        return SkipTime();
    default:
        return false;  // MACRO defines text we do not expand; the rest are undefined
    }
}

bool AribText::Escape() {
    uint8_t code = 0;
    if (!Take(&code)) return false;
    switch (code) {
    case 0x6E:  // LS2
        gl_ = 2;
        return true;
    case 0x6F:  // LS3
        gl_ = 3;
        return true;
    case 0x7E:  // LS1R
        gr_ = 1;
        return true;
    case 0x7D:  // LS2R
        gr_ = 2;
        return true;
    case 0x7C:  // LS3R
        gr_ = 3;
        return true;
    case 0x24:
        return DesignateTwoByte();
    default:
        if (code >= 0x28 && code <= 0x2B) return DesignateOneByte(code - 0x28u);
        return false;
    }
}

bool AribText::DesignateOneByte(size_t g) {
    uint8_t final = 0;
    if (!Take(&final)) return false;
    if (final == 0x20) {  // a downloaded (DRCS) set
        g_[g] = Set::Unknown;
        return TakeFinal(&final);
    }
    if (final < 0x30 || final > 0x7E) return false;
    switch (final) {
    case 0x4A:  // alphanumeric
    case 0x36:  // proportional alphanumeric
        g_[g] = Set::Alphanumeric;
        break;
    case 0x30:  // hiragana
    case 0x37:  // proportional hiragana
        g_[g] = Set::Hiragana;
        break;
    case 0x31:  // katakana
    case 0x38:  // proportional katakana
        g_[g] = Set::Katakana;
        break;
    case 0x49:  // JIS X 0201 katakana
        g_[g] = Set::HalfwidthKatakana;
        break;
    default:  // mosaics, macros
        g_[g] = Set::Unknown;
    }
    return true;
}

// ESC $ F designates G0; ESC $ 0x28..0x2B F designates G0..G3, with 0x20
// before F for a downloaded set.
bool AribText::DesignateTwoByte() {
    uint8_t code = 0;
    if (!Take(&code)) return false;
    size_t g = 0;
    if (code >= 0x28 && code <= 0x2B) {
        g = code - 0x28u;
        if (!Take(&code)) return false;
        if (code == 0x20) {
            g_[g] = Set::Unknown;
            return TakeFinal(&code);
        }
    }
    if (code < 0x30 || code > 0x7E) return false;
    // Kanji, or the first plane of the JIS-compatible set (which holds JIS X
    // 0208 at the same cells); additional symbols and the second plane are unknown.
    g_[g] = code == 0x42 || code == 0x39 ? Set::Kanji : Set::Unknown;
    return true;
}

bool AribText::Take(uint8_t* byte) {
    if (at_ >= size_) return false;
    *byte = data_[at_++];
    return true;
}

bool AribText::TakeFinal(uint8_t* byte) { return Take(byte) && *byte >= 0x30 && *byte <= 0x7E; }

bool AribText::SkipParameters(size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t parameter = 0;
        if (!Take(&parameter) || parameter < 0x20 || parameter > 0x7F) return false;
    }
    return true;
}

// COL and CDC take one parameter, or 0x20 and one more.
bool AribText::SkipExtendedParameter() {
    uint8_t parameter = 0;
    if (!Take(&parameter) || parameter < 0x20 || parameter > 0x7F) return false;
    return parameter != 0x20 || SkipParameters(1);
}

// CSI: parameters and intermediates (0x20-0x3F), then one final byte.
bool AribText::SkipCsi() {
    while (at_ < size_ && data_[at_] >= 0x20 && data_[at_] <= 0x3F) ++at_;
    uint8_t final = 0;
    return Take(&final) && final >= 0x40 && final <= 0x7E;
}

// TIME: a wait (0x20 P1) or a mode (0x28 F); the other forms are refused.
bool AribText::SkipTime() {
    uint8_t form = 0;
    if (!Take(&form) || (form != 0x20 && form != 0x28)) return false;
    return SkipParameters(1);
}
