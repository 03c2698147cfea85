#pragma once
// How the engine tells its owner what happened: a message id and a parameter, posted to a sink
// given by the caller. The desktop front end re-posts them to its UI thread in order; headless
// callers (the command-line tool, tests) record them.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace tavero::engine {

class COzuCtrl;

enum NotificationId : std::uint32_t {
    kMsgVideoSize = 1178,        // lParam: channel whose picture size is new
    kMsgEndOfStream = 1179,      // lParam: channel that met the end marker, or -1: no more data
    kMsgExportFileOpened = 1434, // lParam: the export file's name
    kMsgExportFileClosed = 1435,
    kMsgUnitTrailer = 1524, // lParam: 0; a new unit trailer has been taken over
};

// Called from engine threads; implementations must be thread-safe and must not call back into
// the engine from inside Post.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    virtual void Post(std::uint32_t message, COzuCtrl* control, std::int64_t lParam) = 0;
};

struct Notification {
    std::uint32_t message = 0;
    COzuCtrl* control = nullptr;
    std::int64_t lParam = 0;
};

// Keeps every notification; lets a thread wait for one. Thread-safe.
class RecordingSink : public NotificationSink {
public:
    void Post(std::uint32_t message, COzuCtrl* control, std::int64_t lParam) override;
    // Waits up to timeoutMs for a notification with this id (and lParam when given) that has not
    // been taken yet; true when one came.
    [[nodiscard]] bool WaitFor(std::uint32_t message, int timeoutMs,
                               const std::int64_t* lParam = nullptr);
    [[nodiscard]] std::size_t Count(std::uint32_t message) const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<Notification> m_seen;  // guarded by m_lock
    std::deque<Notification> m_taken; // guarded by m_lock; already matched by WaitFor
};

} // namespace tavero::engine
