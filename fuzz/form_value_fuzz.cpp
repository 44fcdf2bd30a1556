// The typed-value parsers of the forms: any text for any data type and
// width. The value lives in a heap block of exactly the type's size, so a
// store past it is caught; a refused text must leave the value as it was, and
// a value that was taken and can be shown must read back to itself.
//
// Input: data type (signed byte: negative allows an empty entry), width, then
// the text (up to the first NUL).
#include "fuzz/fuzz_check.h"
#include "screen/forms.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

// The text without its leading and trailing blanks.
std::string Trimmed(const char *text) {
    std::string t(text);
    size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    int dataType = (int8_t)data[0];
    int width = data[1] % FORM_TEXT_MAX + 1;
    int valueSize = ValueSize(dataType, width);
    if (valueSize <= 0)
        return 0;
    size_t length = strnlen(reinterpret_cast<const char *>(data + 2), size - 2);
    std::unique_ptr<char[]> text(new char[length + 1]);
    memcpy(text.get(), data + 2, length);
    text[length] = '\0';

    std::unique_ptr<uint8_t[]> value(new uint8_t[valueSize]);
    std::unique_ptr<uint8_t[]> before(new uint8_t[valueSize]);
    memset(value.get(), 0, (size_t)valueSize);
    memcpy(before.get(), value.get(), (size_t)valueSize);
    if (!ParseValue(value.get(), text.get(), dataType, width)) {
        FUZZ_CHECK(memcmp(value.get(), before.get(), (size_t)valueSize) == 0);
        return 0;
    }
    FUZZ_CHECK(strlen(text.get()) <= length); // dropping characters never grows the text

    // What is shown reads back as the same value, where the entry fitted the
    // field and the field shows the value whole (a field cuts what is wider).
    std::unique_ptr<char[]> shown(new char[width + 1]);
    if (!FormatValue(shown.get(), value.get(), dataType, width))
        return 0;
    FUZZ_CHECK(strlen(shown.get()) <= (size_t)width);
    char whole[FORM_TEXT_MAX + 1];
    if (length == 0 || length > (size_t)width ||
        !FormatValue(whole, value.get(), dataType, FORM_TEXT_MAX) ||
        Trimmed(whole) != Trimmed(shown.get()))
        return 0;
    std::unique_ptr<uint8_t[]> again(new uint8_t[valueSize]);
    memcpy(again.get(), value.get(), (size_t)valueSize);
    if (shown[0] != '\0' && ParseValue(again.get(), shown.get(), dataType, width))
        FUZZ_CHECK(memcmp(again.get(), value.get(), (size_t)valueSize) == 0);
    return 0;
}
