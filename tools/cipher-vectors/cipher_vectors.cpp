// Prints cipher bytes for "key<TAB>message" lines (UTF-8 on standard input), or with
// --decipher the text for "key<TAB>cipher hex" lines, so the cipher can be checked against
// any other implementation.
#include "CRijndael.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

using namespace sqllumo::password;

namespace {

// UTF-8 to UTF-16 code units; input text is ordinary text, so malformed bytes are refused.
bool utf8ToUtf16(const std::string& in, std::u16string& out)
{
    out.clear();
    for (size_t i = 0; i < in.size();) {
        const unsigned char c = in[i];
        uint32_t cp = 0;
        int extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, extra = 3;
        } else {
            return false;
        }
        if (i + extra >= in.size() + (extra == 0))
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(in[i + k]) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (in[i + k] & 0x3F);
        }
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

bool hexToBytes(const std::string& hex, Bytes& out)
{
    if (hex.size() % 2)
        return false;
    out.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        if (std::sscanf(hex.substr(i, 2).c_str(), "%2x", &v) != 1)
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

// Deciphered text is printed as code units in hex where it is not printable ASCII.
void printText(const std::u16string& text)
{
    for (char16_t u : text) {
        if (u >= 0x20 && u < 0x7F && u != '\\')
            std::putchar(static_cast<char>(u));
        else
            std::printf("\\u%04X", static_cast<unsigned>(u));
    }
    std::putchar('\n');
}

} // namespace

int main(int argc, char** argv)
{
    const bool decipher = argc > 1 && std::strcmp(argv[1], "--decipher") == 0;
    if (argc > 2 || (argc == 2 && !decipher)) {
        std::fprintf(stderr, "usage: cipher-vectors [--decipher] < lines\n");
        return 2;
    }
    std::string line;
    int lineNumber = 0, status = 0;
    while (std::getline(std::cin, line)) {
        ++lineNumber;
        const auto tab = line.find('\t');
        std::u16string key, message;
        Bytes cipher;
        const bool ok = tab != std::string::npos && utf8ToUtf16(line.substr(0, tab), key) &&
                        (decipher ? hexToBytes(line.substr(tab + 1), cipher)
                                  : utf8ToUtf16(line.substr(tab + 1), message));
        if (!ok) {
            std::fprintf(stderr, "line %d: expected key<TAB>%s\n", lineNumber,
                         decipher ? "cipher hex" : "message (UTF-8)");
            status = 1;
            continue;
        }
        try {
            if (decipher) {
                const Bytes plain = DecipherPassword(TextToBytes(key), cipher);
                if (plain.empty())
                    std::puts("absent");
                else
                    printText(BytesToText(plain));
            } else {
                for (uint8_t b : EncipherPassword(TextToBytes(key), TextToBytes(message)))
                    std::printf("%02X", b);
                std::putchar('\n');
            }
        } catch (const CipherError& e) {
            std::fprintf(stderr, "line %d: %s\n", lineNumber, e.what());
            status = 1;
        }
    }
    return status;
}
