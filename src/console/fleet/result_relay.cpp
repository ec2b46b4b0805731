// The results of a host's process, written and read back.
#include "console/fleet/result_relay.h"

namespace dorv {

namespace {

const std::string_view heading = "dorv-console host results 1\n";

void put(std::string& out, std::string_view field)
{
    out += std::to_string(field.size());
    out += ':';
    out += field;
    out += ',';
}

// Reads the fields of an encoding in turn; once one is not there, every later one fails too.
class field_reader {
  public:
    explicit field_reader(std::string_view text) : text_(text) {}

    std::optional<std::string> text()
    {
        std::size_t size = 0, i = at_;
        // At most 18 digits: no size that could overflow.
        while (i < text_.size() && i - at_ < 18 && text_[i] >= '0' && text_[i] <= '9')
            size = size * 10 + static_cast<std::size_t>(text_[i++] - '0');
        if (!ok_ || i == at_ || i >= text_.size() || text_[i] != ':' || text_.size() - i - 1 <= size ||
            text_[i + 1 + size] != ',')
            return ok_ = false, std::nullopt;
        at_ = i + 2 + size;
        return std::string(text_.substr(i + 1, size));
    }

    // A whole number from 0 to max.
    std::optional<std::size_t> number(std::size_t max)
    {
        std::optional<std::string> t = text();
        if (!t || t->empty() || t->size() > 9 || t->find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(*t) > max)
            return ok_ = false, std::nullopt;
        return std::stoul(*t);
    }

    bool at_end() const { return ok_ && at_ == text_.size(); }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

std::string encode_host_results(const host_results& r)
{
    std::string out(heading);
    put(out, r.printed);
    put(out, std::to_string(r.results.size()));
    for (const auto& p : r.results) {
        put(out, p.host);
        put(out, p.service);
        put(out, std::to_string(p.exit_status));
        put(out, p.output);
        put(out, std::to_string(p.perfdata.size()));
        for (const auto& item : p.perfdata)
            put(out, item);
    }
    return out;
}

std::optional<host_results> decode_host_results(std::string_view text)
{
    if (text.substr(0, heading.size()) != heading)
        return std::nullopt;
    field_reader in(text.substr(heading.size()));
    host_results r;
    std::optional<std::string> printed = in.text();
    std::optional<std::size_t> count = in.number(text.size());
    for (std::size_t n = 0; printed && count && n < *count; ++n) {
        passive_result p;
        std::optional<std::string> host = in.text(), service = in.text();
        std::optional<std::size_t> status = in.number(exit_unknown);
        std::optional<std::string> output = in.text();
        std::optional<std::size_t> items = in.number(text.size());
        if (!items)
            return std::nullopt;
        for (std::size_t i = 0; i < *items; ++i)
            if (std::optional<std::string> item = in.text())
                p.perfdata.push_back(std::move(*item));
        p.host = host.value_or("");
        p.service = service.value_or("");
        p.exit_status = static_cast<int>(status.value_or(exit_unknown));
        p.output = output.value_or("");
        r.results.push_back(std::move(p));
    }
    if (!in.at_end())
        return std::nullopt;
    r.printed = std::move(*printed);
    return r;
}

} // namespace dorv
