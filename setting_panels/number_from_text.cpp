#include "number_from_text.h"

#include "setting_commands.h"

int number_from_text(const QString& text, int start, int count, int base)
{
    // One byte per character keeps the positions; what is not Latin-1 is no digit anyway.
    return setting_commands::number_from_text(text.toLatin1().toStdString(), start, count, base);
}
