#include "harness/real_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

namespace harness {

namespace {

constexpr auto k_start_limit = std::chrono::seconds(10);

bool answers(const std::string& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(80);
    ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::string find_program(const std::string& name) {
    // the sbin folders too: a user's PATH often lacks them, and nginx lives there
    const char* path = std::getenv("PATH");
    std::stringstream dirs(std::string(path != nullptr ? path : "/usr/bin:/bin") +
                           ":/usr/sbin:/sbin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

RealServer RealServer::nginx(const std::string& root, const std::string& state_dir) {
    RealServer server;
    const std::string program = find_program("nginx");
    if (program.empty()) {
        server.m_problem = "nginx is not installed";
        return server;
    }
    std::filesystem::create_directories(state_dir);
    const std::string config = state_dir + "/nginx.conf";
    std::ofstream(config)
        << "daemon off;\n"
        << "master_process off;\n"
        << "pid " << state_dir << "/nginx.pid;\n"
        << "error_log " << state_dir << "/error.log;\n"
        << "events { worker_connections 16; }\n"
        << "http {\n"
        << "  access_log off;\n"
        << "  client_body_temp_path " << state_dir << "/body;\n"
        << "  proxy_temp_path " << state_dir << "/proxy;\n"
        << "  fastcgi_temp_path " << state_dir << "/fastcgi;\n"
        << "  uwsgi_temp_path " << state_dir << "/uwsgi;\n"
        << "  scgi_temp_path " << state_dir << "/scgi;\n"
        << "  default_type application/octet-stream;\n"
        << "  server {\n"
        << "    listen 127.0.0.80:80;\n"
        << "    root " << root << ";\n"
        << "    absolute_redirect off;\n"
        << "    location = /relative { return 302 /files/1k.bin; }\n"
        << "    location = /absolute { return 301 http://127.0.0.80/files/1k.bin; }\n"
        << "    location = /loop { return 302 /loop; }\n"
        << "  }\n"
        << "}\n";
    server.start({program, "-e", state_dir + "/error.log", "-p", state_dir, "-c", config},
                 "127.0.0.80");
    return server;
}

RealServer RealServer::python(const std::string& root) {
    RealServer server;
    const std::string program = find_program("python3");
    if (program.empty()) {
        server.m_problem = "python3 is not installed";
        return server;
    }
    server.start({program, "-m", "http.server", "80", "--bind", "127.0.0.81", "--directory", root},
                 "127.0.0.81");
    return server;
}

void RealServer::start(const std::vector<std::string>& command, const std::string& address) {
    std::vector<std::string> words = command;
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        // quiet: its own logs would only clutter the test output
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + k_start_limit;
    while (!answers(address)) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_problem = command[0] + " ended at start with status " + std::to_string(status);
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            m_problem = command[0] + " did not answer on " + address + ":80";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

RealServer::RealServer(RealServer&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_problem(std::move(other.m_problem)) {}

RealServer::~RealServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

}  // namespace harness
