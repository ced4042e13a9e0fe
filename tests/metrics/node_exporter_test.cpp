// SPDX-License-Identifier: MIT
// The metrics of real wirepace-cli runs as a real node_exporter serves them: its textfile
// collector reads the file wirepace-cli replaced, and /metrics, fetched over HTTP, shows every
// wirepace_ series with the run's own figures, and a failed run's failure in their place.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace wirepace {
namespace {

using testing::ChildProcess;
using testing::TempDir;

std::string FindProgram(const std::vector<std::string>& names) {
    std::string path = "/usr/bin:/usr/sbin:/bin";
    if (const char* env = std::getenv("PATH")) path = std::string(env) + ":" + path;
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');)
        for (const auto& name : names)
            if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
                return dir + "/" + name;
    return "";
}

// The body of a GET over a plain socket; HTTP/1.0, so the server closes when it has answered.
std::string HttpGet(int port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(fd, 0);
    timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            char buffer[65536];
            for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
        }
    }
    close(fd);
    EXPECT_EQ(answer.rfind("HTTP/1.0 200", 0), 0u) << answer.substr(0, 200);
    const auto body = answer.find("\r\n\r\n");
    return body == std::string::npos ? "" : answer.substr(body + 4);
}

struct Sample {
    std::string name;
    std::map<std::string, std::string> labels;  // values unescaped
    double value = 0;
};

// The samples of an exposition in the text format: `name{key="value",...} value`.
std::vector<Sample> Samples(const std::string& text) {
    std::vector<Sample> samples;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        Sample s;
        std::size_t i = line.find_first_of("{ ");
        s.name = line.substr(0, i);
        if (line[i] == '{') {
            ++i;
            while (line[i] != '}') {
                const auto eq = line.find('=', i);
                const std::string key = line.substr(i, eq - i);
                std::string value;
                for (i = eq + 2; line[i] != '"'; ++i) {
                    if (line[i] == '\\') {
                        ++i;
                        value += line[i] == 'n' ? '\n' : line[i];
                    } else {
                        value += line[i];
                    }
                }
                s.labels[key] = value;
                ++i;
                if (line[i] == ',') ++i;
            }
            ++i;
        }
        s.value = std::strtod(line.c_str() + i + 1, nullptr);
        samples.push_back(s);
    }
    return samples;
}

class NodeExporter {
  public:
    NodeExporter(const std::string& program, const std::string& folder)
        : process_({program, "--collector.disable-defaults", "--collector.textfile",
                    "--collector.textfile.directory=" + folder, "--web.listen-address=127.0.0.1:0"},
                   {}) {
        // Port 0: the system picks a free one, and the exporter says which.
        const std::string said = "address=127.0.0.1:";
        if (process_.WaitForError(said, 30)) {
            const auto at = process_.Err().find(said) + said.size();
            port_ = std::atoi(process_.Err().c_str() + at);
        }
    }
    int Port() const { return port_; }
    std::string Log() const { return process_.Err(); }
    std::vector<Sample> Scrape() const { return Samples(HttpGet(port_, "/metrics")); }

  private:
    ChildProcess process_;
    int port_ = 0;
};

std::vector<Sample> Named(const std::vector<Sample>& samples, const std::string& prefix) {
    std::vector<Sample> found;
    for (const auto& s : samples)
        if (s.name.rfind(prefix, 0) == 0) found.push_back(s);
    return found;
}

double ValueOf(const std::vector<Sample>& samples, const std::string& name,
               const std::map<std::string, std::string>& labels = {}) {
    int count = 0;
    double value = -1;
    for (const auto& s : samples) {
        if (s.name != name) continue;
        bool match = true;
        for (const auto& [k, v] : labels) match = match && s.labels.count(k) && s.labels.at(k) == v;
        if (!match) continue;
        ++count;
        value = s.value;
    }
    EXPECT_EQ(count, 1) << name;
    return value;
}

TEST(NodeExporter, ServesEverySeriesOfARealRunAndThenItsFailure) {
    const std::string exporter = FindProgram({"prometheus-node-exporter", "node_exporter"});
    if (exporter.empty())
        GTEST_SKIP() << "node_exporter is not installed (Debian package prometheus-node-exporter)";

    TempDir home, target, textfile;
    const std::map<std::string, std::string> env = {{"XDG_CACHE_HOME", home.Slash() + "cache"},
                                                    {"XDG_DATA_HOME", home.Slash() + "data"},
                                                    {"LC_ALL", "C"}};
    // Quotes, backslashes and text beyond ASCII must come back as they went in (a double quote
    // is refused in a name: the results log encloses the name in them).
    const std::string name = "Br'anch \\ office, Z\xC3\xBCrich \xE2\x9C\x93";
    const std::string file = textfile.Slash() + "wirepace.prom";
    const std::time_t before = std::time(nullptr);
    ChildProcess cli({WIREPACE_CLI_PATH, "--name", name, "--dir", target.Path().string(), "--speed",
                      "<256", "--format", "json", "--metrics-file", file},
                     env);
    ASSERT_EQ(cli.Wait(180), 0) << cli.Err();
    const std::time_t after = std::time(nullptr);
    const auto tests = nlohmann::json::parse(cli.Out())["runs"][0]["tests"];
    ASSERT_EQ(tests.size(), 9u);

    NodeExporter node(exporter, textfile.Path().string());
    ASSERT_GT(node.Port(), 0) << node.Log();
    auto samples = node.Scrape();
    EXPECT_EQ(ValueOf(samples, "node_textfile_scrape_error"), 0) << node.Log();

    const auto series = Named(samples, "wirepace_");
    // 3 outcomes, the error number and the time; per test speed, time and size, and two
    // diagnoses.
    EXPECT_EQ(series.size(), 5u + 9u * 5u);
    for (const auto& s : series) {
        EXPECT_EQ(s.labels.at("name"), name) << s.name;
        EXPECT_EQ(s.labels.at("target"), target.Path().string()) << s.name;
        EXPECT_EQ(s.labels.at("type"), "wan");
        EXPECT_EQ(s.labels.at("speed"), "<256");
    }
    EXPECT_EQ(ValueOf(samples, "wirepace_run_outcome", {{"outcome", "finished"}}), 1);
    EXPECT_EQ(ValueOf(samples, "wirepace_run_outcome", {{"outcome", "interrupted"}}), 0);
    EXPECT_EQ(ValueOf(samples, "wirepace_run_outcome", {{"outcome", "error"}}), 0);
    EXPECT_EQ(ValueOf(samples, "wirepace_run_error_number"), 0);
    const double started = ValueOf(samples, "wirepace_run_timestamp_seconds");
    EXPECT_GE(started, static_cast<double>(before));
    EXPECT_LE(started, static_cast<double>(after));
    for (const auto& t : tests) {
        const std::map<std::string, std::string> test = {
            {"run", "1"}, {"test_id", t["id"]}, {"test_name", t["name"]}};
        const std::string id = t["id"];
        EXPECT_EQ(ValueOf(samples, "wirepace_test_speed_bytes_per_second", test),
                  t["speed"].get<double>() * 1024)
            << id;
        EXPECT_EQ(ValueOf(samples, "wirepace_test_time_seconds", test),
                  t["ms"].get<double>() / 1000)
            << id;
        EXPECT_EQ(ValueOf(samples, "wirepace_test_size_bytes", test), t["bytes"].get<double>())
            << id;
        auto with = [&](const char* diagnosis) {
            auto labels = test;
            labels["diagnosis"] = diagnosis;
            return labels;
        };
        EXPECT_EQ(ValueOf(samples, "wirepace_test_diagnosis", with("duplex_mismatch")),
                  t["comment"] == "Possible Duplex Mismatch" ? 1 : 0);
        EXPECT_EQ(ValueOf(samples, "wirepace_test_diagnosis", with("window_limitation")),
                  t["comment"] == "Possible Netbios/TCP Window limitation" ? 1 : 0);
    }

    // A run that fails replaces those figures with its failure: nothing stale is served.
    ChildProcess failing({WIREPACE_CLI_PATH, "--name", name, "--dir",
                          target.Slash() + "no/such/folder", "--metrics-file", file},
                         env);
    ASSERT_EQ(failing.Wait(60), 1) << failing.Err();
    samples = node.Scrape();
    EXPECT_EQ(ValueOf(samples, "node_textfile_scrape_error"), 0) << node.Log();
    EXPECT_EQ(ValueOf(samples, "wirepace_run_outcome", {{"outcome", "error"}}), 1);
    EXPECT_EQ(ValueOf(samples, "wirepace_run_outcome", {{"outcome", "finished"}}), 0);
    EXPECT_EQ(ValueOf(samples, "wirepace_run_error_number"), 76);
    EXPECT_TRUE(Named(samples, "wirepace_test_").empty());
    EXPECT_EQ(testing::Entries(textfile.Path()), std::vector<std::string>{"wirepace.prom"});
}

}  // namespace
}  // namespace wirepace
