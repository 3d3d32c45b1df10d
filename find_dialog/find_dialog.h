#ifndef VYR_FIND_DIALOG_H
#define VYR_FIND_DIALOG_H

#include <QDialog>
#include <QString>

#include <memory>

// Searches address ranges and, if asked, the serial ports for sensors on a thread of its
// own; choosing a found sensor hands it on and closes. Closing while a search runs stops
// it and waits the short time the search takes to notice.
class Find_dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Find_dialog(QWidget* parent = nullptr);
    ~Find_dialog() override;

    bool searching() const;

signals:
    // ethernet: target is an address and number its port; else a device and its rate.
    void target_chosen(bool ethernet, QString target, int number);
    void search_finished();

public slots:
    void start_search();
    void cancel_search();
    void use_selected();

protected:
    void done(int result) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif
