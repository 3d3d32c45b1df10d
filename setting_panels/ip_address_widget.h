#ifndef VYR_SETTING_PANELS_IP_ADDRESS_WIDGET_H
#define VYR_SETTING_PANELS_IP_ADDRESS_WIDGET_H

#include <QByteArray>
#include <QString>
#include <QWidget>

#include "ui_ip_address_widget.h"

// Four line edits, one octet each; no whole-address validation.
class Ip_address_widget : public QWidget, private Ui::Ip_address_widget_form
{
    Q_OBJECT

public:
    explicit Ip_address_widget(QWidget* parent = nullptr);
    ~Ip_address_widget() override;

    // Dotted text; fields beyond the fourth are ignored, missing ones stay as they are.
    void set_address(const QByteArray& address);
    // The four fields joined by "."; an empty field reads "0".
    QString address() const;
    // The raw text of field 0 to 3, empty for any other index.
    QString address_part(int index) const;

private:
    Ip_address_widget(const Ip_address_widget&) = delete;
    Ip_address_widget& operator=(const Ip_address_widget&) = delete;
};

#endif
