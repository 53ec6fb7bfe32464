// What the tests that run SQL check besides results: the message of the exception an
// action raises, whether a connection's lock is free, and how many descriptors the
// process has open (to see that nothing leaks one).
#pragma once

#include <fcntl.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/query/SybConnect.h"

namespace host = tovrin::host;

namespace testsupport {

/// The message of the host exception `action` raises; "" when it raises none.
inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const host::Exception& e) {
        return e.Message();
    }
    return {};
}

/// True when another thread can take the connection's lock (no execution holds it).
inline bool lockIsFree(tovrin::TSybConnect& connection) {
    bool free = false;
    std::thread probe([&] {
        std::unique_lock<std::recursive_mutex> lock(connection.Lock(), std::try_to_lock);
        free = lock.owns_lock();
    });
    probe.join();
    return free;
}

/// Number of open file descriptors of this process.
inline int openDescriptors() {
    int count = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) {
            ++count;
        }
    }
    return count;
}

} // namespace testsupport
