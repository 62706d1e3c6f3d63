#include <session/conventions.h>

namespace quellar2mrapi {

std::u16string signed_number(LONG number) {
    std::u16string text(1, number < 0 ? u'-' : u' ');
    // Digits of the magnitude; the most negative number has no positive twin.
    std::int64_t magnitude = number < 0 ? -static_cast<std::int64_t>(number) : number;
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude);
    return text + digits;
}

std::u16string error_text(std::u16string_view prefix, LONG number, std::u16string_view description) {
    std::u16string text(prefix);
    text += signed_number(number);
    text += u' ';
    text += description;
    return text;
}

}  // namespace quellar2mrapi
