#include "ip_address_widget.h"

#include <QLineEdit>
#include <QList>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

// Lenient like atoi, but reduced modulo 256 as it goes so that no length of
// digits can overflow.
unsigned char octet_from_text(const QByteArray& text)
{
    int pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    unsigned value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = (value * 10 + unsigned(text[pos] - '0')) & 0xffu;
    }
    if (negative) {
        value = (0x100u - value) & 0xffu;
    }
    return static_cast<unsigned char>(value);
}

} // namespace

Ip_address_widget::Ip_address_widget(QWidget* parent) : QWidget(parent, Qt::WindowFlags())
{
    setupUi(this);

    const QRegularExpression octet("[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5]");
    auto* validator = new QRegularExpressionValidator(octet, this);
    address_0_edit_->setValidator(validator);
    address_1_edit_->setValidator(validator);
    address_2_edit_->setValidator(validator);
    address_3_edit_->setValidator(validator);
}

Ip_address_widget::~Ip_address_widget() = default;

void Ip_address_widget::set_address(const QByteArray& address)
{
    // A byte string ends at its first NUL. Tokenizer rules: runs of dots are one
    // separator, leading and trailing dots vanish.
    const QByteArray text = address.left(int(qstrnlen(address.constData(), address.size())));
    const QList<QByteArray> fields = text.split('.');
    QLineEdit* const edits[] = {address_0_edit_, address_1_edit_, address_2_edit_, address_3_edit_};
    int index = 0;
    for (const QByteArray& field : fields) {
        if (field.isEmpty()) {
            continue;
        }
        if (index == 4) {
            break;
        }
        edits[index++]->setText(QString::number(octet_from_text(field)));
    }
}

QString Ip_address_widget::address() const
{
    QStringList parts;
    for (int index = 0; index < 4; ++index) {
        const QString part = address_part(index);
        parts << (part.isEmpty() ? QStringLiteral("0") : part);
    }
    return parts.join('.');
}

QString Ip_address_widget::address_part(int index) const
{
    switch (index) {
    case 0:
        return address_0_edit_->text();
    case 1:
        return address_1_edit_->text();
    case 2:
        return address_2_edit_->text();
    case 3:
        return address_3_edit_->text();
    default:
        return QString();
    }
}
