#pragma once
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// One console per user and data folder. Two consoles would fight over the SIP
// port and write through each other into one log, so a second start hands
// over to the running one (which comes to the front) and ends.
//
// Who runs is decided by a lock file in the data folder (created exclusively,
// so two starts at the same moment cannot both win; a lock left by a process
// that died is taken over). The running console listens on a local socket
// whose name is made from the user and the data folder; a later start that
// finds the lock taken connects there, asks "show" and waits for "shown".
class SingleInstance : public QObject {
public:
    enum class Role {
        First,      // this process runs the console; the lock is held until it is destroyed
        HandedOver, // another console runs and confirmed that it came to the front
        Unanswered  // another console holds the lock but did not answer in time
    };

    // dataFolder: the console's data folder (the lock goes there). runtimeFolder:
    // where the socket goes ($XDG_RUNTIME_DIR), or empty for the system's default.
    SingleInstance(const QString& dataFolder, const QString& runtimeFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Decides this process's role, waiting at most timeoutMs for a running
    // console to answer. *error gets a reason when the console runs without the
    // hand-over (no lock file could be made, or no socket could be opened).
    Role claim(int timeoutMs, QString* error);

    // Called on the running console when a later start asks to be shown.
    std::function<void()> OnShowRequest;

    QString serverName() const { return serverName_; }
    QString lockFileName() const { return lockFileName_; }

private:
    bool listen(QString* error);
    void answer(class QLocalSocket* socket);

    QString serverName_;
    QString lockFileName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};
