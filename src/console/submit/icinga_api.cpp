// The Icinga 2 API client: POST /v1/actions/process-check-result through libcurl, one
// easy handle, and so one kept HTTPS connection, for every result of a run.
#include <curl/curl.h>
#include <unistd.h>

#include <climits>
#include <fstream>

#include "console/submit.h"

namespace dorv {

namespace {

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* body)
{
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
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
    icinga_api(const submit_options& s, std::string password, double timeout)
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
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout * 1000));
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

    std::string send(const passive_result& r) override
    {
        if (!curl_)
            return "libcurl could not start";
        std::string body = check_result_body(r, source_, settings_.ttl);
        std::string answer;
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &answer);
        char curl_error[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, curl_error);
        CURLcode rc = curl_easy_perform(curl_);
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
        if (rc != CURLE_OK)
            return settings_.url + ": " + (curl_error[0] ? curl_error : curl_easy_strerror(rc));
        long code = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200 && code < 300)
            return "";
        std::string status = api_status(answer);
        return "HTTP " + std::to_string(code) + (status.empty() ? "" : ": " + status);
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

std::unique_ptr<result_sink> make_result_sink(const submit_options& s, double timeout, std::string& error)
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
    return std::make_unique<icinga_api>(s, std::move(password), timeout);
}

} // namespace dorv
