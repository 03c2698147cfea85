#pragma once
// Progress of a long command on standard error: a bar redrawn in place on a terminal, a
// "progress N%" line every ten percent otherwise (logs, pipes, tests).

#include "engine/player.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace tavero::cli {

class ProgressDisplay {
public:
    explicit ProgressDisplay(std::FILE* err) : m_err(err), m_terminal(::isatty(fileno(err)) != 0) {}

    void show(std::uint32_t percent) {
        if (percent == m_shown) {
            return;
        }
        m_shown = percent;
        if (m_terminal) {
            const int filled = static_cast<int>(percent) * 40 / 100;
            std::fprintf(m_err, "\r[%.*s%*s] %3u%%", filled,
                         "########################################", 40 - filled, "", percent);
            if (percent >= 100) {
                std::fputc('\n', m_err);
            }
        } else if (percent / 10 != m_lastTenth || percent == 100) {
            m_lastTenth = percent / 10;
            std::fprintf(m_err, "progress %u%%\n", percent);
        }
        std::fflush(m_err);
    }

private:
    std::FILE* m_err;
    bool m_terminal;
    std::uint32_t m_shown = 1000;
    std::uint32_t m_lastTenth = 1000;
};

struct ControlDeleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};
using ControlPtr = std::unique_ptr<engine::COzuCtrl, ControlDeleter>;

} // namespace tavero::cli
