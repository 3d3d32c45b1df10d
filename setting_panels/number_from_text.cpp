#include "number_from_text.h"

namespace {

int digit_value(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'z') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'Z') {
        return u - 'A' + 10;
    }
    return -1;
}

} // namespace

int number_from_text(const QString& text, int start, int count, int base)
{
    const qint64 length = text.length();
    const qint64 end = qint64(start) + (count == 0 ? length : count);
    // A negative start would index before the text.
    if (start < 0 || start >= end || start >= length) {
        return 0;
    }
    // Unsigned so that a long run of digits wraps instead of overflowing.
    unsigned value = 0;
    for (qint64 pos = start; pos < end && pos < length; ++pos) {
        const int digit = digit_value(text.at(pos));
        if (digit < 0 || digit >= base) {
            return 0;
        }
        value = value * unsigned(base) + unsigned(digit);
    }
    return int(value);
}
