#pragma once
#include "platform/Dispatch.h"
// Turns the frames of one finished recording into an AVI file, on a worker
// thread of its own that ends when the file is written.
#include "common/SharedTypes.h"
#include "video/AVICollection.h"
#include "video/AviFileName.h"

#include <QObject>
#include <QPointer>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The file name calls (SafeFileName, BuildFileName, ...) come from AviFileName.
class TAVICreator : public video::AviFileName {
public:
    // Inputs, set before Start.
    TAVICollection AVICollection; // the recorder's own frames
    std::string AVIDirectory;     // recordings folder
    std::string GuardName;        // the panel's displayed name; "Guard" when empty
    TGetStrProc LogEvent;
    platform::Receiver Receiver; // when set, log lines run on its thread
    std::function<std::time_t()> Now = [] { return std::time(nullptr); }; // the file name's stamp

    // The full name of the file being written, once chosen.
    std::string fTempFileName;

    // Runs the recorder on a detached thread; the thread keeps the object
    // alive until the file is written.
    static void Start(const std::shared_ptr<TAVICreator>& self);
    // The whole run on the calling thread.
    void Run();

    // Recorders running now, in the whole process; a recorder counts from Start.
    static int RunningCount();
    // Waits until every recorder has finished or timeoutMs has passed, and
    // returns the files of those still running (the name each is writing, or
    // the name it is about to take).
    static std::vector<std::string> WaitForAll(int timeoutMs);

private:
    void log(const std::string& text);
    void writeFile();
    void runCounted();
    void enter();
    void leave();
    void setFileLabel(const std::string& name);

    std::string fileLabel_; // under the running lock
};
