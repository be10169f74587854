// AribText: the 8-unit character code that Japanese broadcasts use for
// names (SDT service and provider names, NIT network names).
//
// Four designations G0..G3 each hold a character set; locking shifts put one
// of them in GL (bytes 0x21-0x7E) or GR (0xA1-0xFE) and single shifts lend
// G2 or G3 to one character. A string starts with G0 = Kanji, G1 =
// alphanumeric, G2 = hiragana, G3 = katakana, GL = G0 and GR = G2. Colour,
// size and positioning controls only change how text is shown, so they are
// skipped with their parameters; the size controls in particular do not turn
// the alphanumeric set into full-width forms.
//
// Decoding is all or nothing: an undefined control, a set whose characters
// cannot be known here (mosaics, downloaded sets, macros, additional
// symbols), an unassigned cell or a sequence cut off at the end fails the
// whole string, so a caller shows the bytes in hex and never a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A name as broadcast and as it reads.
struct AribName {
    std::vector<uint8_t> Bytes;  // the string as carried
    bool Decoded = false;        // Text is the decoded string (else the bytes in hex)
    std::string Text;            // always valid UTF-8
};

class AribText {
public:
    // Decodes `size` bytes (`data` may be null when `size` is 0) into UTF-8.
    // On failure returns false and leaves `*text` empty.
    static bool Decode(const uint8_t* data, size_t size, std::string* text);

    // The decoded string, or the bytes in hex ("0E 41 42") when they do not decode.
    static AribName Read(const uint8_t* data, size_t size);

    // Upper-case hex pairs separated by spaces.
    static std::string Hex(const uint8_t* data, size_t size);

    // Encodes UTF-8 text from the initial state: space as SP, ASCII graphics
    // (but '\' and '~', which the alphanumeric set lacks) and U+00A5, U+203E
    // through the alphanumeric set, every JIS X 0208 character (kanji, kana,
    // symbols, full-width forms) through the Kanji set, with LS0/LS1 between
    // them. Returns false, leaving `*bytes` empty, for invalid UTF-8 or any
    // other character (controls included). Decode gives the text back.
    static bool Encode(const std::string& text, std::vector<uint8_t>* bytes);

private:
    enum class Set : uint8_t { Kanji, Alphanumeric, Hiragana, Katakana, HalfwidthKatakana, Unknown };

    AribText(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Run(std::string* text);
    bool Step(std::string* text);
    bool Graphic(Set set, uint8_t first, std::string* text);
    bool Control0(uint8_t code);
    bool Control1(uint8_t code);
    bool Escape();
    bool DesignateOneByte(size_t g);
    bool DesignateTwoByte();
    bool Take(uint8_t* byte);
    bool TakeFinal(uint8_t* byte);
    bool SkipParameters(size_t count);
    bool SkipExtendedParameter();
    bool SkipCsi();
    bool SkipTime();

    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    Set g_[4] = {Set::Kanji, Set::Alphanumeric, Set::Hiragana, Set::Katakana};
    size_t gl_ = 0, gr_ = 2;
    int singleShift_ = -1;  // the G lent to the next character, -1 for none
};
