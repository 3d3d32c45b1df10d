#ifndef VYR_APP_MAIN_WINDOW_H
#define VYR_APP_MAIN_WINDOW_H

#include <QMainWindow>
#include <QString>

#include <memory>

namespace Ui {
class MainWindow;
}

// The one top-level window: a column of panels above a status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

public slots:
    void set_status(QString status);
    void set_status(bool is_connect, QString status);
    void ip_changed(QString ip_address);
    void find_sensors();
    void show_about();

private:
    void update_sensor_use();

    struct Private;
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Private> d;
};

#endif
