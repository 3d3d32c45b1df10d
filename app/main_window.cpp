#include "main_window.h"

#include <QCoreApplication>
#include <QFrame>

#include "qvyr_connector.h"
#include "ui_main_window.h"

// Members are built in declaration order and destroyed in reverse; panels that
// borrow the connection panel's driver must come after it.
struct MainWindow::Private
{
    explicit Private(MainWindow* owner) : owner(owner) {}

    MainWindow* owner;
    QVyr_connector connector;
};

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), d(new Private(this))
{
    ui->setupUi(this);

    ui->vlo_setting->addWidget(&d->connector, 0);

    connect(&d->connector, &QVyr_connector::report_connect_status, this,
            qOverload<bool, QString>(&MainWindow::set_status));

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
    (void)is_connect;
    set_status(status);
}

void MainWindow::ip_changed(QString ip_address)
{
    d->connector.disconnect_sensor();
    d->connector.set_ip_address(ip_address);
}
