#ifndef VYR_SETTING_PANELS_NUMBER_FROM_TEXT_H
#define VYR_SETTING_PANELS_NUMBER_FROM_TEXT_H

#include <QString>

// Reads the unsigned number in `base` written in text[start, start + count), count 0
// meaning to the end. Any character that is not a digit below the base gives 0, as
// does a range that is empty or starts outside the text.
int number_from_text(const QString& text, int start, int count, int base);

#endif
