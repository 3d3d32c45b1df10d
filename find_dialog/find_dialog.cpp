#include "find_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "address_ranges.h"
#include "network_search.h"
#include "serial_search.h"

namespace {

enum Column { target_column, product_column, serial_column, firmware_column };
enum Role { ethernet_role = Qt::UserRole, target_role, number_role };

// A sensor's bytes as they are: Latin-1 keeps every one visible.
QString shown(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A range as texts the range field reads back: one piece per /24 it touches.
QStringList range_texts(const vyr_find::Address_range& range)
{
    QStringList texts;
    uint64_t first = range.first;
    while (first <= range.last) {
        const uint64_t block_end = first | 0xFF;
        const uint64_t last = block_end < range.last ? block_end : range.last;
        const QString start = QString::fromStdString(vyr_find::address_text(uint32_t(first)));
        texts << (first == last ? start : start + "-" + QString::number(last & 0xFF));
        first = last + 1;
    }
    return texts;
}

} // namespace

struct Find_dialog::Private
{
    QLineEdit* ranges = nullptr;
    QSpinBox* port = nullptr;
    QCheckBox* serial = nullptr;
    QPushButton* search = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* use = nullptr;
    QTableWidget* table = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* status = nullptr;
    QTimer progress_timer;

    std::thread worker;
    vyr_find::Stop_flag stop{false};
    std::atomic<long> tcp_done{0}, tcp_total{0}, serial_done{0}, serial_total{0};
    bool running = false;
    // What an earlier search queued still arrives after a new one began: it is dropped.
    int generation = 0;
    QStringList notes;

    void show_progress();
    void stop_and_join();
    void update_buttons();
};

void Find_dialog::Private::show_progress()
{
    const long total = tcp_total + serial_total;
    progress->setMaximum(total > 0 ? static_cast<int>(total) : 1);
    progress->setValue(static_cast<int>(tcp_done + serial_done));
}

void Find_dialog::Private::stop_and_join()
{
    stop = true;
    if (worker.joinable()) {
        worker.join();
    }
}

void Find_dialog::Private::update_buttons()
{
    search->setEnabled(!running);
    cancel->setEnabled(running);
    ranges->setEnabled(!running);
    port->setEnabled(!running);
    serial->setEnabled(!running);
    use->setEnabled(!table->selectedItems().isEmpty());
}

Find_dialog::Find_dialog(QWidget* parent) : QDialog(parent), d(std::make_unique<Private>())
{
    setObjectName("Find_dialog");
    setWindowTitle(tr("Find sensors"));

    d->ranges = new QLineEdit;
    d->ranges->setObjectName("edt_ranges");
    d->ranges->setToolTip(tr("Addresses as 192.168.0.0/24, 192.168.0.1-20 or 192.168.0.10, "
                             "separated by commas or spaces"));
    d->port = new QSpinBox;
    d->port->setObjectName("spn_port");
    d->port->setRange(1, 65535);
    d->port->setValue(vyr_find::default_port);
    d->serial = new QCheckBox(tr("Serial ports"));
    d->serial->setObjectName("chk_serial");

    auto* form = new QFormLayout;
    form->addRow(tr("Ranges"), d->ranges);
    form->addRow(tr("Port No."), d->port);
    form->addRow(QString(), d->serial);

    d->table = new QTableWidget(0, 4);
    d->table->setObjectName("tbl_sensors");
    d->table->setHorizontalHeaderLabels(
        {tr("Target"), tr("Product"), tr("Serial number"), tr("Firmware")});
    d->table->setSelectionBehavior(QAbstractItemView::SelectRows);
    d->table->setSelectionMode(QAbstractItemView::SingleSelection);
    d->table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    d->table->horizontalHeader()->setStretchLastSection(true);
    for (const int each : {target_column, product_column, serial_column}) {
        d->table->horizontalHeader()->setSectionResizeMode(each, QHeaderView::ResizeToContents);
    }
    d->table->verticalHeader()->hide();

    d->progress = new QProgressBar;
    d->progress->setObjectName("prg_search");
    d->progress->setValue(0);
    d->status = new QLabel;
    d->status->setObjectName("lbl_find_status");
    d->status->setTextFormat(Qt::PlainText);
    d->status->setWordWrap(true);
    d->status->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);

    auto* buttons = new QDialogButtonBox;
    d->search = buttons->addButton(tr("Search"), QDialogButtonBox::ActionRole);
    d->search->setObjectName("btn_search");
    d->cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::ActionRole);
    d->cancel->setObjectName("btn_cancel");
    d->use = buttons->addButton(tr("Use"), QDialogButtonBox::AcceptRole);
    d->use->setObjectName("btn_use");
    QPushButton* close_button = buttons->addButton(QDialogButtonBox::Close);
    close_button->setAutoDefault(false);
    d->search->setDefault(true);

    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(d->table, 1);
    column->addWidget(d->progress);
    column->addWidget(d->status);
    column->addWidget(buttons);

    connect(d->search, &QPushButton::clicked, this, &Find_dialog::start_search);
    connect(d->cancel, &QPushButton::clicked, this, &Find_dialog::cancel_search);
    connect(d->use, &QPushButton::clicked, this, &Find_dialog::use_selected);
    connect(close_button, &QPushButton::clicked, this, &QDialog::reject);
    connect(d->table, &QTableWidget::itemSelectionChanged, this, [this] { d->update_buttons(); });
    connect(d->table, &QTableWidget::cellDoubleClicked, this, &Find_dialog::use_selected);
    d->progress_timer.setInterval(100);
    connect(&d->progress_timer, &QTimer::timeout, this, [this] { d->show_progress(); });

    const vyr_find::Default_ranges defaults =
        vyr_find::default_ranges(vyr_find::system_interfaces());
    QStringList texts;
    for (const vyr_find::Address_range& range : defaults.ranges) {
        texts << range_texts(range);
    }
    d->ranges->setText(texts.join(", "));
    for (const std::string& note : defaults.notes) {
        d->notes << QString::fromStdString(note);
    }
    d->status->setText(d->notes.join("\n"));
    d->update_buttons();
    resize(640, 440);
}

Find_dialog::~Find_dialog()
{
    d->stop_and_join();
}

bool Find_dialog::searching() const
{
    return d->running;
}

void Find_dialog::start_search()
{
    if (d->running) {
        return;
    }
    vyr_find::Network_search network;
    network.port = d->port->value();
    const QStringList words =
        d->ranges->text().split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        vyr_find::Address_range range;
        std::string error;
        if (!vyr_find::parse_range(word.toStdString(), range, error)) {
            d->status->setText(QString::fromStdString(error));
            return;
        }
        network.ranges.push_back(range);
    }
    vyr_find::Serial_search serial;
    if (d->serial->isChecked()) {
        serial.devices = vyr_find::listed_ports(false);
    }
    if (network.ranges.empty() && serial.devices.empty()) {
        d->status->setText(d->serial->isChecked()
                               ? tr("No range given and no serial port is marked as a sensor's.")
                               : tr("No range given."));
        return;
    }

    // A search ended by Cancel may still be on its way out.
    d->stop_and_join();
    d->stop = false;
    d->tcp_done = d->serial_done = 0;
    d->tcp_total = 0;
    d->serial_total = static_cast<long>(serial.devices.size());
    d->table->setRowCount(0);
    d->progress->setValue(0);
    d->status->setText(tr("Searching..."));
    d->running = true;
    const int generation = ++d->generation;
    d->update_buttons();
    d->progress_timer.start();

    // Calls queued to this dialog are dropped once it is gone; the thread never outlives it.
    const auto found = [this, generation](const vyr_find::Found_sensor& sensor) {
        QMetaObject::invokeMethod(this, [this, sensor, generation] {
            if (generation != d->generation) {
                return;
            }
            const vyr_find::Endpoint& place = sensor.endpoint;
            const int row = d->table->rowCount();
            d->table->insertRow(row);
            const QString target =
                place.serial && place.baudrate > 0
                    ? tr("%1 (%2 baud)").arg(shown(place.device)).arg(place.baudrate)
                    : shown(place.target());
            auto* first = new QTableWidgetItem(target);
            first->setData(ethernet_role, !place.serial);
            first->setData(target_role, shown(place.serial ? place.device : place.address));
            first->setData(number_role,
                           place.serial ? static_cast<int>(place.baudrate) : place.port);
            d->table->setItem(row, target_column, first);
            d->table->setItem(row, product_column,
                              new QTableWidgetItem(shown(sensor.identity.product)));
            d->table->setItem(row, serial_column,
                              new QTableWidgetItem(shown(sensor.identity.serial_number)));
            d->table->setItem(row, firmware_column,
                              new QTableWidgetItem(shown(sensor.identity.firmware_version)));
        });
    };
    d->worker = std::thread([this, network, serial, found, generation] {
        vyr_find::Search_report tcp;
        tcp.found = found;
        tcp.progress = [this](long done, long total) {
            d->tcp_done = done;
            d->tcp_total = total;
        };
        vyr_find::Search_report on_serial;
        on_serial.found = found;
        on_serial.progress = [this](long done, long total) {
            d->serial_done = done;
            d->serial_total = total;
        };
        if (!network.ranges.empty()) {
            vyr_find::search_network(network, tcp, &d->stop);
        }
        if (!serial.devices.empty() && !d->stop) {
            vyr_find::search_serial(serial, on_serial, &d->stop);
        }
        const bool stopped = d->stop;
        QMetaObject::invokeMethod(this, [this, stopped, generation] {
            if (generation != d->generation) {
                return;
            }
            d->stop_and_join();
            d->running = false;
            d->progress_timer.stop();
            d->show_progress();
            const int count = d->table->rowCount();
            QString text = stopped ? tr("Search cancelled; sensors found: %1").arg(count)
                                   : tr("Sensors found: %1").arg(count);
            if (!d->notes.isEmpty()) {
                text += "\n" + d->notes.join("\n");
            }
            d->status->setText(text);
            d->update_buttons();
            emit search_finished();
        });
    });
}

void Find_dialog::cancel_search()
{
    // The search notices within its short bound and reports back; nothing waits here.
    d->stop = true;
    d->cancel->setEnabled(false);
    d->status->setText(tr("Stopping..."));
}

void Find_dialog::use_selected()
{
    const QList<QTableWidgetItem*> items = d->table->selectedItems();
    if (items.isEmpty()) {
        return;
    }
    const QTableWidgetItem* first = d->table->item(items.first()->row(), target_column);
    emit target_chosen(first->data(ethernet_role).toBool(), first->data(target_role).toString(),
                       first->data(number_role).toInt());
    accept();
}

void Find_dialog::done(int result)
{
    ++d->generation;
    d->stop_and_join();
    d->running = false;
    d->progress_timer.stop();
    d->update_buttons();
    QDialog::done(result);
}
