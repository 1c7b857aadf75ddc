#!/usr/bin/env python3
"""Runs the test suite against hand-made mutants of src/: each mutant is one realistic fault
(an off-by-one, a wrong byte in a message, a skipped check, a lost errno, ...). For each it
applies the change, rebuilds the test preset, runs ctest and counts the mutant as killed
when a test fails. The tree is put back after each one.

    tools/mutate.py [NAME_PART ...]     (all mutants, or those whose name holds a part)

Needs a configured test build (cmake --preset test). Prints one line per mutant and the
kill score; exits 0."""
import subprocess
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent
BUILD = TOP / "build" / "test"

# (name, file, text, replacement): the text must occur in the file exactly once
MUTANTS = [
    ("mid one more", "src/support/text.cpp", "std::min(n, available)", "std::min(n + 1, available)"),
    ("find start at end", "src/support/text.cpp", "p < 1 || p > length) {", "p < 1 || p >= length) {"),
    ("trim keeps zero bytes", "src/support/text.cpp", 'std::string_view(" \\0", 2)', 'std::string_view(" ")'),
    ("lower off by one", "src/support/text.cpp", "c = static_cast<char>(c + 32)", "c = static_cast<char>(c + 31)"),
    ("number blank for zero", "src/support/console.cpp", "if (value >= 0) text", "if (value > 0) text"),
    ("DEL passes", "src/support/console.cpp", "|| c == 127", "|| false"),
    ("tab neutralised", "src/support/console.cpp", "c == '\\t' || ", ""),
    ("LF CR", "src/support/console.cpp", 'line.append(bytes).append("\\r\\n")', 'line.append(bytes).append("\\n\\r")'),
    ("blank at end names output", "src/run/command_line.cpp", "blank == length)", "blank == length - 1)"),
    ("no default output", "src/run/command_line.cpp", "if (target.output_file.empty()) target", "if (false) target"),
    ("scheme cut anywhere", "src/run/command_line.cpp", 'slashes > 0 && support::find(1, target.url, "/") == slashes', "slashes > 0"),
    ("quiet switch keeps blank", "src/run/command_line.cpp", "tail.remove_prefix(k_quiet_switch.size());", "tail.remove_prefix(k_quiet_switch.size() - 1);"),
    ("head prefix any length", "src/run/command_line.cpp", "if (lowered == k_head_prefix) {", "if (lowered.starts_with(\"-head\")) {"),
    ("error line blank", "src/run/report.cpp", 'return "Error:" + support::format_number(err)', 'return "Error: " + support::format_number(err)'),
    ("file problem text", "src/run/report.cpp", '{"File problem.",', '{"File problem",'),
    ("closing note typo fixed", "src/run/report.cpp", '"as soons as possible."', '"as soon as possible."'),
    ("banner one short", "src/run/report.cpp", "static_cast<std::int64_t>(k_banner_width - 1) -", "static_cast<std::int64_t>(k_banner_width - 2) -"),
    ("quiet wait long", "src/run/driver.cpp", "k_quiet_wait_ms = 6'000;", "k_quiet_wait_ms = 60'000;"),
    ("empty Location exits 0", "src/run/driver.cpp", "return state.redirect.count > 0 ? k_dead_end : k_no_url;", "return k_no_url;"),
    ("six redirects followed", "src/run/driver.cpp", "state.redirect.count > redirect::k_max_redirects", "state.redirect.count > redirect::k_max_redirects + 1"),
    ("work file as output", "src/run/driver.cpp", "if (support::is_work_file(target.output_file)) {", "if (false) {"),
    ("output close unchecked", "src/run/driver.cpp", "if (const int err = file.close()) return support::file_failure(err, name);", "file.reset(); (void)name;"),
    ("no data log", "src/run/driver.cpp", "state.log_lines(response::data_log_lines(", "state.log_lines({}); (void)(response::data_log_lines("),
    ("signal not re-raised", "src/run/driver.cpp", "support::end_as_signal(signal);", "(void)signal;"),
    ("standard descriptors open", "src/run/driver.cpp", "    keep_standard_descriptors();\n    //",
     "    (void)&keep_standard_descriptors;\n    //"),
    ("SIGPIPE kills", "src/run/driver.cpp", "::signal(SIGPIPE, SIG_IGN);", ""),
    ("side files when loud", "src/run/driver.cpp", "if (!state.loud()) {\n        if (auto failure =", "if (true) {\n        if (auto failure ="),
    ("no zero after receive", "src/http/exchange.cpp", "m_bytes[m_last] = '\\0';", ""),
    ("filler without its zero", "src/http/exchange.cpp", "return {m_bytes.data() + m_last, k_receive_size - m_last};", "return {m_bytes.data() + m_last + 1, k_receive_size - m_last - 1};"),
    ("one step per piece", "src/http/exchange.cpp", "std::min(piece - done, k_receive_size)", "piece - done"),
    ("Host line LF", "src/http/exchange.cpp", 'append("Host: ").append(host).append("\\r\\n")', 'append("Host: ").append(host).append("\\n")'),
    ("user agent case", "src/http/exchange.cpp", '"User-Agent: Pageglean "', '"User-Agent: pageglean "'),
    ("spool write unchecked", "src/http/exchange.cpp", "if (const int err = support::write_at(spool, received.total, piece)) {", "if (const int err = 0 * support::write_at(spool, received.total, piece)) {"),
    ("date not taken", "src/response/header_scan.cpp", "m_result.last_modified = last_modified_date(m_line);", ""),
    ("scan one step late", "src/response/header_scan.cpp", "if (m_fed >= 4) step(m_fed - 3);", "if (m_fed >= 4) step(m_fed - 2);"),
    ("long lines kept", "src/response/header_scan.cpp", "if (neither_header || m_line.size() > k_max_header_line) {", "if (neither_header) {"),
    ("body length short", "src/response/body.cpp", "return length - body_start + 1;", "return length - body_start;"),
    ("side file without CR LF", "src/response/body.cpp", "int err = support::write_line(file.get(), value);", "int err = support::write_all(file.get(), value);"),
    ("empty echo nothing", "src/response/response_file.cpp", 'support::print(console, std::string_view("\\0", 1));', ""),
    ("read error as end", "src/response/response_file.cpp", "if (n < 0) return errno;", "if (n < 0) return 0;"),
    ("blank as plus", "src/redirect/redirect.cpp", 'escaped += "%20";', 'escaped += "+";'),
    ("base at root slash", "src/redirect/redirect.cpp", "if (slash == std::string_view::npos || slash == 0)", "if (slash == std::string_view::npos)"),
    ("relative joins wrong", "src/redirect/redirect.cpp", "if (base.ends_with('/')) return", "if (base.starts_with('/')) return"),
    ("original one short", "src/redirect/redirect.cpp", "support::length_of(response));", "support::length_of(response) - 1);"),
    ("port cut anywhere in host", "src/redirect/redirect.cpp", "if (!host.ends_with(port))", "if (host.find(port) == std::string_view::npos)"),
    ("work file written through", "src/support/file.cpp", "        remove_file(name);\n        Fd file(", "        Fd file("),
    ("short copy is success", "src/support/file.cpp", "if (n == 0) return EIO;\n        count -= n;", "if (n == 0) return 0;\n        count -= n;"),
    ("terminal not restored", "src/support/wait.cpp", "if (m_active) ::tcsetattr(m_fd, TCSANOW, &m_saved);", ""),
    ("key left in input", "src/support/wait.cpp", "(void)!::read(input_fd, key, sizeof key);", "(void)key;"),
    ("certificate not verified", "src/http/stream.cpp", "SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);", "SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);"),
    ("address not checked", "src/http/stream.cpp", "X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str()) != 1", "false"),
    ("https only in lower case", "src/http/stream.cpp", "return support::lower(support::left(tail, k_https.size())) == k_https;", "return support::left(tail, k_https.size()) == k_https;"),
    ("zero byte host looked up", "src/http/connection.cpp", "if (host.find('\\0') != std::string::npos) return 0;", ""),
    ("neutralising off on a terminal", "src/support/console.cpp", "if (console.terminal) {", "if (false) {"),
    ("output not truncated", "src/support/file.cpp", "O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC", "O_RDWR | O_CREAT | O_CLOEXEC"),
    ("loud wait short", "src/run/driver.cpp", "k_loud_wait_ms = 60'000;", "k_loud_wait_ms = 6'000;"),
    ("body offset in 32 bits", "src/response/body.cpp", "support::copy_range(response, body_start - 1, output, count)",
     "support::copy_range(response, static_cast<std::int32_t>(body_start - 1), output, count)"),
    ("spool errno lost", "src/run/driver.cpp", "if (!spool) return failed(support::file_failure(errno, spool_name));",
     "if (!spool) return failed(support::file_failure(0, spool_name));"),
    ("data length unsigned", "src/response/body.cpp", '"Data length: " + support::format_number(body_length(body_start, length)),',
     '"Data length: " + support::format_unsigned(static_cast<std::uint64_t>(body_length(body_start, length))),'),
    ("signal before a wait missed", "src/support/signals.cpp", "if (g_noted == 0) {\n        pollfd", "if (true) {\n        pollfd"),
]


def run(command):
    return subprocess.run(command, cwd=TOP, capture_output=True, text=True)


def main():
    wanted = sys.argv[1:]
    killed = total = 0
    for name, file, text, replacement in MUTANTS:
        if wanted and not any(part in name for part in wanted):
            continue
        path = TOP / file
        original = path.read_text()
        if original.count(text) != 1:
            print(f"{name}: stale, the text is not in {file} exactly once")
            continue
        total += 1
        try:
            path.write_text(original.replace(text, replacement))
            if run(["cmake", "--build", str(BUILD), "-j2"]).returncode != 0:
                outcome = "killed (does not build)"
                killed += 1
            else:
                tests = run(["ctest", "--test-dir", str(BUILD), "-j2", "--timeout", "90"])
                failed = [line.split(" - ", 1)[1].split(" (")[0] for line in tests.stdout.splitlines()
                          if " - " in line and ("(Failed)" in line or "(Timeout)" in line)]
                if tests.returncode != 0:
                    killed += 1
                    outcome = f"killed by {len(failed)}: {', '.join(failed[:3])}"
                else:
                    outcome = "LIVES"
        finally:
            path.write_text(original)  # written anew: its time is later than the build's
        print(f"{name}: {outcome}", flush=True)
    run(["cmake", "--build", str(BUILD), "-j2"])
    print(f"mutants: {total}, killed: {killed}, lived: {total - killed}")


if __name__ == "__main__":
    main()
