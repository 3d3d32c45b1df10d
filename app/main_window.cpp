#include "main_window.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <array>

#include "driver_owner.h"
#include "find_dialog.h"
#include "heater_setter.h"
#include "information_window.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "phase_setter.h"
#include "qvyr_connector.h"
#include "ui_main_window.h"

// Everything the window holds. The constructor builds it in this order and the destructor
// tears it down in the reverse one: the sensor windows, the lines and the setting panels
// borrow the connection panel's driver and its owner, so they go before it (the live scan
// stops its measurement as it goes), and the connection panel goes last, letting the
// owner's thread end, saving its settings and closing the driver.
struct MainWindow::Private
{
    explicit Private(MainWindow* window);
    ~Private();

    std::unique_ptr<QVyr_connector> connector;
    // Every exchange of the window runs on it, one at a time.
    std::shared_ptr<Driver_owner> owner;
    std::unique_ptr<QVyr_heater_setter> heater;
    std::unique_ptr<QVyr_ip_changer> ip_changer;
    std::unique_ptr<QVyr_phase_setter> phase;
    std::array<std::unique_ptr<QFrame>, 3> lines;
    std::unique_ptr<Information_window> information;
    std::unique_ptr<Live_scan_window> live;

    // Ends a running live scan ahead of the driver's close, without waiting for it.
    void end_live_scan();

    bool connected = false;
    bool live_running = false;
    // What had the keyboard in a setting panel when an exchange disabled the panels.
    QPointer<QWidget> focus_back;
    QLabel* settings_warning = nullptr;    // owned by the status bar
    QAction* information_action = nullptr; // owned by the menu
    QAction* live_action = nullptr;
    QAction* find_action = nullptr;
    QAction* open_recording_action = nullptr;
    QLabel* connect_reason = nullptr; // owned by the status bar
    QLabel* address_note = nullptr;   // why an address was refused, or whether it answers
};

MainWindow::Private::Private(MainWindow* window) : connector(std::make_unique<QVyr_connector>())
{
    kvt::Vyr_driver& driver = connector->driver();
    owner = Driver_owner::of(driver);
    heater = std::make_unique<QVyr_heater_setter>(driver);
    ip_changer = std::make_unique<QVyr_ip_changer>(driver);
    phase = std::make_unique<QVyr_phase_setter>(driver);
    for (auto& line : lines) {
        line = std::make_unique<QFrame>();
    }
    information = std::make_unique<Information_window>(driver, window);
    live = std::make_unique<Live_scan_window>(driver, window);
}

MainWindow::Private::~Private()
{
    end_live_scan();
    live.reset();
    information.reset();
    for (auto& line : lines) {
        line.reset();
    }
    phase.reset();
    ip_changer.reset();
    heater.reset();
    owner.reset();
    connector.reset();
}

void MainWindow::Private::end_live_scan()
{
    // Returns at once: the close, posted to the driver's owner after this, runs once the
    // measurement has stopped the sensor's output.
    live->stop_for_close();
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()),
      d(std::make_unique<Private>(this))
{
    ui->setupUi(this);

    connect(d->live.get(), &Live_scan_window::running_changed, this, [this](bool running) {
        // The live scan also stops while the window is torn down.
        if (d) {
            d->live_running = running;
            update_sensor_use();
        }
    });
    // The live scan reads past the owner: a link it found gone is noticed once it has ended.
    connect(d->live.get(), &Live_scan_window::running_changed, d->connector.get(),
            [connector = d->connector.get()](bool running) {
                if (!running) {
                    connector->check_link();
                }
            });
    connect(d->owner.get(), &Driver_owner::busy_changed, this, [this] { update_sensor_use(); });
    QMenu* file = ui->menuBar->addMenu(tr("&File"));
    file->setObjectName("menuFile");
    // A recording plays in the live view with or without a sensor.
    d->open_recording_action = file->addAction(tr("&Open recording..."));
    d->open_recording_action->setObjectName("actionOpen_recording");
    connect(d->open_recording_action, &QAction::triggered, this, [this] {
        d->live->show();
        d->live->raise();
        d->live->ask_open_recording();
    });
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"));
    quit->setObjectName("actionQuit");
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Closing the window takes the same way down as its close button.
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* sensor = ui->menuBar->addMenu(tr("&Sensor"));
    sensor->setObjectName("menuSensor");
    d->find_action = sensor->addAction(tr("&Find sensors..."));
    d->find_action->setObjectName("actionFind_sensors");
    connect(d->find_action, &QAction::triggered, this, &MainWindow::find_sensors);
    d->information_action = sensor->addAction(tr("&Information..."));
    d->information_action->setObjectName("actionInformation");
    connect(d->information_action, &QAction::triggered, this, [this] {
        d->information->show();
        d->information->raise();
        d->information->refresh();
    });
    d->live_action = sensor->addAction(tr("&Live scan..."));
    d->live_action->setObjectName("actionLive_scan");
    connect(d->live_action, &QAction::triggered, this, [this] {
        d->live->show();
        d->live->raise();
    });

    QMenu* help = ui->menuBar->addMenu(tr("&Help"));
    help->setObjectName("menuHelp");
    QAction* about = help->addAction(tr("&About"));
    about->setObjectName("actionAbout");
    connect(about, &QAction::triggered, this, &MainWindow::show_about);

    for (auto& line : d->lines) {
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
    }

    ui->vlo_setting->addWidget(d->connector.get(), 0);
    ui->vlo_setting->addWidget(d->lines[0].get(), 0);
    ui->vlo_setting->addWidget(d->heater.get(), 1, Qt::AlignRight);
    ui->vlo_setting->addWidget(d->lines[1].get(), 0);
    ui->vlo_setting->addWidget(d->phase.get(), 1, Qt::AlignRight);
    ui->vlo_setting->addWidget(d->lines[2].get(), 0);
    ui->vlo_setting->addWidget(d->ip_changer.get(), 1, Qt::AlignRight);

    const auto show_status = qOverload<QString>(&MainWindow::set_status);
    connect(d->heater.get(), &QVyr_heater_setter::report_status, this, show_status);
    connect(d->phase.get(), &QVyr_phase_setter::report_status, this, show_status);
    connect(d->ip_changer.get(), &QVyr_ip_changer::report_status, this, show_status);
    connect(d->connector.get(), &QVyr_connector::report_connect_status, this,
            qOverload<bool, QString>(&MainWindow::set_status));
    connect(d->ip_changer.get(), &QVyr_ip_changer::ip_changed, this, &MainWindow::ip_changed);

    d->settings_warning = new QLabel;
    d->settings_warning->setObjectName("lbl_settings_warning");
    d->settings_warning->setTextFormat(Qt::PlainText);
    d->settings_warning->hide();
    ui->statusBar->addPermanentWidget(d->settings_warning);
    connect(d->connector.get(), &QVyr_connector::settings_not_saved, this,
            [this](const QString& reason) {
                d->settings_warning->setText(tr("Settings not saved: %1").arg(reason));
                d->settings_warning->show();
            });

    d->connect_reason = new QLabel;
    d->connect_reason->setObjectName("lbl_connect_reason");
    d->connect_reason->setTextFormat(Qt::PlainText);
    ui->statusBar->addPermanentWidget(d->connect_reason);
    connect(d->connector.get(), &QVyr_connector::connect_failed, d->connect_reason,
            &QLabel::setText);

    d->address_note = new QLabel;
    d->address_note->setObjectName("lbl_address_note");
    d->address_note->setTextFormat(Qt::PlainText);
    ui->statusBar->addPermanentWidget(d->address_note);
    connect(d->ip_changer.get(), &QVyr_ip_changer::refused, d->address_note, &QLabel::setText);
    connect(d->ip_changer.get(), &QVyr_ip_changer::verified, d->address_note, &QLabel::setText);
    // A new change makes the last one's note stale; its head ends in " : ".
    connect(d->ip_changer.get(), &QVyr_ip_changer::report_status, d->address_note,
            [this](const QString& status) {
                if (status.endsWith(" : ")) {
                    d->address_note->clear();
                }
            });

    setWindowTitle(QCoreApplication::applicationName() + " ver." +
                   QCoreApplication::applicationVersion());
    set_status(false, tr("Start Application."));
}

// The form record holds only pointers to widgets the window owns; the private part goes
// after it, as the destructor of Private lays out.
MainWindow::~MainWindow()
{
    ui.reset();
    d.reset();
}

void MainWindow::set_status(QString status)
{
    ui->statusBar->showMessage(status, 0);
}

void MainWindow::set_status(bool is_connect, QString status)
{
    d->connected = is_connect;
    // A reason belongs to the connect that failed; the panel gives a new one after it.
    d->connect_reason->clear();
    // The connection panel reports before it opens or closes the driver, so a
    // live scan ends here, before anything else uses the driver.
    if (!is_connect) {
        d->end_live_scan();
    } else {
        // The connection panel saves its settings right after; only a new failure shows.
        d->settings_warning->hide();
    }
    update_sensor_use();
    set_status(status);
}

void MainWindow::update_sensor_use()
{
    // Nothing to update while the window is built or torn down.
    if (!d || !d->live) {
        return;
    }
    // One exchange at a time: what would start another waits while the owner works and
    // while scans run. The connection panel stays usable in all states.
    const bool busy = d->owner->busy();
    const bool idle = d->connected && !d->live_running && !busy;
    QWidget* const focus = focusWidget();
    for (QWidget* panel : {static_cast<QWidget*>(d->heater.get()),
                           static_cast<QWidget*>(d->phase.get()),
                           static_cast<QWidget*>(d->ip_changer.get())}) {
        if (!idle && focus && panel->isEnabled() && panel->isAncestorOf(focus)) {
            d->focus_back = focus;
        }
        panel->setEnabled(idle);
    }
    // After an exchange the keyboard goes on where it was; after a disconnect it stays put.
    if (!d->connected) {
        d->focus_back = nullptr;
    } else if (idle && d->focus_back) {
        d->focus_back->setFocus(Qt::OtherFocusReason);
        d->focus_back = nullptr;
    }
    d->information_action->setEnabled(idle);
    d->information->set_available(idle);
    d->live_action->setEnabled(d->connected);
    d->open_recording_action->setEnabled(!d->live_running);
    d->find_action->setEnabled(!d->connected && !busy);
    if (d->connected && busy && !d->live_running) {
        // A scan being started keeps the owner busy before it says it runs: look again once
        // the start is through, so as not to stop it.
        QTimer::singleShot(0, this, [this] {
            if (d && d->live && d->connected && d->owner->busy() && !d->live_running) {
                d->live->set_available(false);
            }
        });
    } else {
        d->live->set_available(d->connected);
    }
}

void MainWindow::ip_changed(QString ip_address)
{
    d->connector->disconnect_sensor();
    d->connector->set_ip_address(ip_address);
}

void MainWindow::find_sensors()
{
    auto* dialog = new Find_dialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &Find_dialog::target_chosen, d->connector.get(), &QVyr_connector::use_target);
    dialog->open();
}

void MainWindow::show_about()
{
    QMessageBox box(this);
    box.setObjectName("about_box");
    box.setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::Information);
    box.setText(QCoreApplication::applicationName() + " " +
                tr("version %1").arg(QCoreApplication::applicationVersion()));
    box.setInformativeText(tr("Sets up VYR series scanning laser range sensors over Ethernet or "
                              "a serial line: heater, phase and network address, with the "
                              "sensor's information and a live view of its scans."));
    box.exec();
}
