#pragma once
#include "platform/Dispatch.h"
// Turns the frames of one finished recording into an AVI file, on a worker
// thread of its own that ends when the file is written.
#include "common/SharedTypes.h"
#include "video/AVICollection.h"

#include <QObject>
#include <QPointer>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TAVICreator {
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

    // A device-reported name made safe as one file name: no path separators
    // and no control characters.
    static std::string SafeFileName(std::string_view name);
    // Folder, "/", name, "_", stamp (2017-03-03 14-05-09) and ".AVI"; backslash
    // separators in the folder become "/". The name is shortened as FitName does.
    static std::string BuildFileName(const std::string& directory, const std::string& guardName,
                                     const std::tm& localTime);
    // name with "_2", "_3", ... before its extension.
    static std::string WithSuffix(const std::string& name, int n);

    // A file name (one path component) holds at most this many bytes on Linux file systems.
    static constexpr size_t MaxFileNameBytes = 255;
    // Room kept for the no-overwrite suffix, "_2" up to "_1000".
    static constexpr size_t SuffixRoom = 5;
    // name cut to the bytes left once tailBytes (stamp and extension) and the
    // suffix room are taken from MaxFileNameBytes, at a UTF-8 character boundary.
    static std::string FitName(std::string name, size_t tailBytes);

private:
    void log(const std::string& text);
    void writeFile();
    void runCounted();
    void enter();
    void leave();
    void setFileLabel(const std::string& name);

    std::string fileLabel_; // under the running lock
};
