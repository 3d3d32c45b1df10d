#include "main_window.h"

#include <QCoreApplication>
#include <QFrame>

#include "heater_setter.h"
#include "ip_changer.h"
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
};

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), d(new Private(this))
{
    ui->setupUi(this);

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
    delete ui;
    delete d;
}

void MainWindow::set_status(QString status)
{
    ui->statusBar->showMessage(status, 0);
}

void MainWindow::set_status(bool is_connect, QString status)
{
    // The connection panel stays usable in both states.
    d->heater.setEnabled(is_connect);
    d->phase.setEnabled(is_connect);
    d->ip_changer.setEnabled(is_connect);
    set_status(status);
}

void MainWindow::ip_changed(QString ip_address)
{
    d->connector.disconnect_sensor();
    d->connector.set_ip_address(ip_address);
}
