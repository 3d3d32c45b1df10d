#include "main_window.h"

#include <QCoreApplication>
#include <QFrame>
#include <QMenu>

#include "heater_setter.h"
#include "information_window.h"
#include "ip_changer.h"
#include "live_scan_window.h"
#include "phase_setter.h"
#include "qvyr_connector.h"
#include "ui_main_window.h"

// Members are built in declaration order and destroyed in reverse; panels that
// borrow the connection panel's driver must come after it.
struct MainWindow::Private
{
    explicit Private(MainWindow* owner)
        : owner(owner), heater(connector.driver()), ip_changer(connector.driver()),
          phase(connector.driver())
    {
    }

    MainWindow* owner;
    QVyr_connector connector;
    QVyr_heater_setter heater;
    QVyr_ip_changer ip_changer;
    QVyr_phase_setter phase;
    QFrame lines[3];

    // The sensor windows are children of the window; the live scan is stopped
    // before the connection panel's driver goes.
    bool connected = false;
    QAction* information_action = nullptr;
    QAction* live_action = nullptr;
    Information_window* information = nullptr;
    Live_scan_window* live = nullptr;
};

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), d(new Private(this))
{
    ui->setupUi(this);

    d->information = new Information_window(d->connector.driver(), this);
    d->live = new Live_scan_window(d->connector.driver(), this);
    connect(d->live, &Live_scan_window::running_changed, this, [this] { update_sensor_use(); });
    QMenu* sensor = ui->menuBar->addMenu(tr("&Sensor"));
    sensor->setObjectName("menuSensor");
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

    for (QFrame& line : d->lines) {
        line.setFrameShape(QFrame::HLine);
        line.setFrameShadow(QFrame::Sunken);
    }

    ui->vlo_setting->addWidget(&d->connector, 0);
    ui->vlo_setting->addWidget(&d->lines[0], 0);
    ui->vlo_setting->addWidget(&d->heater, 1, Qt::AlignRight);
    ui->vlo_setting->addWidget(&d->lines[1], 0);
    ui->vlo_setting->addWidget(&d->phase, 1, Qt::AlignRight);
    ui->vlo_setting->addWidget(&d->lines[2], 0);
    ui->vlo_setting->addWidget(&d->ip_changer, 1, Qt::AlignRight);

    const auto show_status = qOverload<QString>(&MainWindow::set_status);
    connect(&d->heater, &QVyr_heater_setter::report_status, this, show_status);
    connect(&d->phase, &QVyr_phase_setter::report_status, this, show_status);
    connect(&d->ip_changer, &QVyr_ip_changer::report_status, this, show_status);
    connect(&d->connector, &QVyr_connector::report_connect_status, this,
            qOverload<bool, QString>(&MainWindow::set_status));
    connect(&d->ip_changer, &QVyr_ip_changer::ip_changed, this, &MainWindow::ip_changed);

    setWindowTitle(QCoreApplication::applicationName() + " ver." +
                   QCoreApplication::applicationVersion());
    set_status(false, tr("Start Application."));
}

MainWindow::~MainWindow()
{
    delete d->live;
    d->live = nullptr;
    delete ui;
    delete d;
}

void MainWindow::set_status(QString status)
{
    ui->statusBar->showMessage(status, 0);
}

void MainWindow::set_status(bool is_connect, QString status)
{
    d->connected = is_connect;
    // The connection panel reports before it opens or closes the driver, so a
    // live scan ends here, before anything else uses the driver.
    if (!is_connect) {
        d->live->stop();
    }
    update_sensor_use();
    set_status(status);
}

void MainWindow::update_sensor_use()
{
    if (!d->live) {
        return;
    }
    // One user of the driver at a time: the setting panels wait while scans run.
    // The connection panel stays usable in both states.
    const bool idle = d->connected && !d->live->is_running();
    d->heater.setEnabled(idle);
    d->phase.setEnabled(idle);
    d->ip_changer.setEnabled(idle);
    d->information_action->setEnabled(idle);
    d->information->set_available(idle);
    d->live_action->setEnabled(d->connected);
    d->live->set_available(d->connected);
}

void MainWindow::ip_changed(QString ip_address)
{
    d->connector.disconnect_sensor();
    d->connector.set_ip_address(ip_address);
}
