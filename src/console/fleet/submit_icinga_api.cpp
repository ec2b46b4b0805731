// The Icinga 2 API client: POST /v1/actions/process-check-result through libcurl, one
// easy handle, and so one kept HTTPS connection, for every result of a run.
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fstream>

#include "console/fleet/submit.h"
#include "console/options/network_options.h"
#include "console/text/text.h"

namespace dorv {

namespace {

struct reply {
    std::string body;
    bool too_long = false;
};

// Keeps the reply's body up to api_reply_keep bytes; past that the transfer is ended.
std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* into)
{
    auto* r = static_cast<reply*>(into);
    if (r->body.size() + size * count > api_reply_keep) {
        r->too_long = true;
        return 0;
    }
    r->body.append(data, size * count);
    return size * count;
}

// The API's connection is no descriptor for the processes of a --hosts run.
int close_on_exec(void*, curl_socket_t fd, curlsocktype)
{
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return CURL_SOCKOPT_OK;
}

std::string this_host()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "dorv-console";
    return name;
}

class icinga_api : public result_sink {
  public:
    icinga_api(const submit_options& s, std::string password)
        : settings_(s), password_(std::move(password)), source_(this_host()), curl_(curl_easy_init())
    {
        std::string url = s.url;
        while (!url.empty() && url.back() == '/')
            url.pop_back();
        url_ = url + "/v1/actions/process-check-result";
        headers_ = curl_slist_append(headers_, "Accept: application/json");
        headers_ = curl_slist_append(headers_, "Content-Type: application/json");
        if (!curl_)
            return;
        curl_easy_setopt(curl_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, keep_body);
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_USERAGENT, "dorv-console");
        curl_easy_setopt(curl_, CURLOPT_SOCKOPTFUNCTION, close_on_exec);
        curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "https");
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!s.ca.empty())
            curl_easy_setopt(curl_, CURLOPT_CAINFO, s.ca.c_str());
        if (!s.user.empty()) {
            curl_easy_setopt(curl_, CURLOPT_USERNAME, s.user.c_str());
            curl_easy_setopt(curl_, CURLOPT_PASSWORD, password_.c_str());
        }
        if (!s.cert.empty()) {
            curl_easy_setopt(curl_, CURLOPT_SSLCERT, s.cert.c_str());
            curl_easy_setopt(curl_, CURLOPT_SSLKEY, s.key.c_str());
        }
    }

    ~icinga_api() override
    {
        if (curl_)
            curl_easy_cleanup(curl_);
        curl_slist_free_all(headers_);
    }

    icinga_api(const icinga_api&) = delete;
    icinga_api& operator=(const icinga_api&) = delete;

    bool send(const passive_result& r, send_deadline deadline, std::string& error) override
    {
        if (!curl_)
            return fail(error, "libcurl could not start");
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(left.count(), 1)));
        std::string body = check_result_body(r, source_, settings_.ttl);
        reply answer;
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &answer);
        char curl_error[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, curl_error);
        CURLcode rc = curl_easy_perform(curl_);
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
        long code = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &code);
        if (answer.too_long)
            return fail(error, "HTTP " + std::to_string(code) + ": a reply of more than " +
                                   std::to_string(api_reply_keep) + " bytes, not the API's");
        if (rc != CURLE_OK)
            return fail(error, shown_url(settings_.url) + ": " +
                                   human_text(curl_error[0] ? curl_error : curl_easy_strerror(rc)));
        if (code >= 200 && code < 300)
            return true;
        std::string status = api_status(answer.body);
        return fail(error,
                    "HTTP " + std::to_string(code) + (status.empty() ? "" : ": " + human_text(status)));
    }

  private:
    submit_options settings_;
    std::string password_;
    std::string source_;
    std::string url_;
    CURL* curl_;
    curl_slist* headers_ = nullptr;
};

} // namespace

std::unique_ptr<result_sink> make_result_sink(const submit_options& s, std::string& error)
{
    std::string password;
    if (!s.password_file.empty()) {
        std::ifstream in(s.password_file);
        if (!in || !std::getline(in, password)) {
            error = "cannot read the password file " + s.password_file;
            return nullptr;
        }
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        error = "libcurl could not start";
        return nullptr;
    }
    return std::make_unique<icinga_api>(s, std::move(password));
}

} // namespace dorv
