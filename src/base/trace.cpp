// Trace log writing.
#include "base/trace.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace dorv {

void trace_open(const char* path)
{
    // Non-blocking open: a log path naming a FIFO without a reader must not hold the
    // session up; such a log is dropped like any other that cannot be opened.
    // A symbolic link planted at the log path must not turn the trace into a writer of
    // some other file; the log holds what clients sent, so others may not read it.
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0640);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, O_WRONLY | O_APPEND);
    if (fd < 0)
        fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (fd != STDERR_FILENO) {
        ::dup2(fd, STDERR_FILENO); // dup2 clears close-on-exec: probe commands inherit it
        ::close(fd);
    } else {
        ::fcntl(fd, F_SETFD, 0);
    }
}

void trace_text(std::string_view text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    // O_APPEND writes to a regular file are whole; the loop only matters for pipes.
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a lost trace never stops the agent
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void trace_parts(std::initializer_list<std::string_view> parts)
{
    iovec iov[8];
    int count = 0;
    std::size_t total = 0;
    for (std::string_view p : parts) {
        if (count == 8)
            break;
        iov[count++] = iovec{const_cast<char*>(p.data()), p.size()};
        total += p.size();
    }
    ssize_t n;
    do
        n = ::writev(STDERR_FILENO, iov, count);
    while (n < 0 && errno == EINTR);
    if (n >= 0 && static_cast<std::size_t>(n) < total) {
        // Only a pipe or a full disk writes part of it; hand the rest over in order.
        std::string rest;
        for (std::string_view p : parts)
            rest += p;
        trace_text(std::string_view(rest).substr(static_cast<std::size_t>(n)));
    }
}

void append_control_escape(std::string& out, unsigned char c)
{
    if (c == '\n') {
        out += "\\n";
    } else if (c == '\r') {
        out += "\\r";
    } else if (c == '\t') {
        out += "\\t";
    } else {
        static const char hex[] = "0123456789abcdef";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    }
}

std::string_view escaped(std::string_view text, std::string& storage)
{
    std::size_t first = 0;
    while (first < text.size() && !is_control(static_cast<unsigned char>(text[first])))
        ++first;
    if (first == text.size())
        return text;
    storage.assign(text.substr(0, first));
    for (std::size_t i = first; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (is_control(c))
            append_control_escape(storage, c);
        else
            storage += static_cast<char>(c);
    }
    return storage;
}

std::string escaped(std::string_view text)
{
    std::string storage;
    std::string_view v = escaped(text, storage);
    return v.data() == text.data() ? std::string(text) : storage;
}

void trace(const char* format, ...)
{
    char small[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0)
        return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        trace_text(std::string_view(small, static_cast<std::size_t>(n)));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    va_start(ap, format);
    std::vsnprintf(big.data(), big.size(), format, ap);
    va_end(ap);
    big.pop_back();
    trace_text(big);
}

} // namespace dorv
