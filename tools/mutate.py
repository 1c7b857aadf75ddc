#!/usr/bin/env python3
"""Runs the test suite against hand-made mutants of src/: each mutant is one realistic fault
(an off-by-one, a wrong byte in a message, a skipped check, a lost errno, ...). It works on
a copy of the tree (tracked files only, in a temporary folder), never on the tree itself:
for each mutant it applies the change there, rebuilds the test preset, runs ctest and
counts the mutant as killed when a test fails. A mutant that does not build, or whose text
is stale, is no kill: it is reported apart, and the run then exits 1.

    tools/mutate.py [--check] [NAME_PART ...]

--check only looks that every mutant's text is in its file exactly once. Prints one line
per mutant and the score over the mutants that built."""
import pathlib
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent

# (name, file, text, replacement): the text must occur in the file exactly once
MUTANTS = [
    ("mid one more", "src/support/text.cpp", "std::min(n, available)", "std::min(n + 1, available)"),
    ("find start at end", "src/support/text.cpp", "p < 1 || p > length) {", "p < 1 || p >= length) {"),
    ("trim keeps zero bytes", "src/support/text.cpp", 'std::string_view(" \\0", 2)', 'std::string_view(" ")'),
    ("lower off by one", "src/support/text.cpp", "static_cast<char>(c + 32)", "static_cast<char>(c + 31)"),
    ("number blank for zero", "src/support/console.cpp", "if (value >= 0) text", "if (value > 0) text"),
    ("DEL passes", "src/support/console.cpp", "|| c == 127", "|| false"),
    ("tab neutralised", "src/support/console.cpp", "c == '\\t' || ", ""),
    ("LF CR", "src/support/console.cpp", 'line.append(bytes).append("\\r\\n")', 'line.append(bytes).append("\\n\\r")'),
    ("blank at end names output", "src/run/command_line.cpp", "blank == length)", "blank == length - 1)"),
    ("no default output", "src/run/command_line.cpp", "if (target.output_file.empty()) target", "if (false) target"),
    ("scheme cut anywhere", "src/run/command_line.cpp", 'slashes > 0 && support::find(1, target.url, "/") == slashes', "slashes > 0"),
    ("quiet switch keeps blank", "src/run/command_line.cpp", "tail.remove_prefix(k_quiet_switch.size());", "tail.remove_prefix(k_quiet_switch.size() - 1);"),
    ("head prefix any length", "src/run/command_line.cpp", "if (lowered == k_head_prefix) {", "if (lowered.starts_with(\"-head\")) {"),
    ("error line blank", "src/run/report.cpp", '? "Error:" + support::format_number(failure.err)', '? "Error: " + support::format_number(failure.err)'),
    ("file problem text", "src/run/report.cpp", '{"File problem.",', '{"File problem",'),
    ("closing note typo fixed", "src/run/report.cpp", '"as soons as possible."', '"as soon as possible."'),
    ("banner one short", "src/run/report.cpp", "static_cast<std::int64_t>(k_banner_width - 1) -", "static_cast<std::int64_t>(k_banner_width - 2) -"),
    ("quiet wait long", "src/run/driver.cpp", "k_quiet_wait_ms = 6'000;", "k_quiet_wait_ms = 60'000;"),
    ("empty URL exits 0", "src/run/driver.cpp", "return state.command.argument_text.empty() ? k_no_url : k_dead_end;", "return k_no_url;"),
    ("six redirects followed", "src/run/driver.cpp", "state.redirect.count > redirect::k_max_redirects", "state.redirect.count > redirect::k_max_redirects + 1"),
    ("work file as output", "src/run/driver.cpp", "if (support::is_work_file(output)) {", "if (false) {"),
    ("output close unchecked", "src/run/hop_files.cpp", 'if (const int err = file.close()) return support::file_failure(err, name, "close");', "file.reset(); (void)name;"),
    ("no data log", "src/run/hop.cpp", "hop.log_lines(response::data_log_lines(", "hop.log_lines({}); (void)(response::data_log_lines("),
    ("signal not re-raised", "src/run/program.cpp", "support::end_as_signal(signal);", "(void)signal;"),
    ("standard descriptors open", "src/run/program.cpp", "    keep_standard_descriptors();\n    //",
     "    (void)&keep_standard_descriptors;\n    //"),
    ("SIGPIPE kills", "src/run/program.cpp", "::signal(SIGPIPE, SIG_IGN);", ""),
    ("side files when loud", "src/run/hop.cpp", "if (!hop.loud()) {", "if (true) {"),
    ("no zero after receive", "src/http/exchange.cpp", "m_bytes[m_last] = '\\0';", ""),
    ("filler without its zero", "src/http/exchange.cpp", "return {m_bytes.data() + m_last, k_receive_size - m_last};", "return {m_bytes.data() + m_last + 1, k_receive_size - m_last - 1};"),
    ("one step per piece", "src/http/exchange.cpp", "std::min(piece - done, k_receive_size)", "piece - done"),
    ("Host line LF", "src/http/exchange.cpp", 'append("Host: ").append(authority).append("\\r\\n")', 'append("Host: ").append(authority).append("\\n")'),
    ("user agent case", "src/http/exchange.cpp", '"User-Agent: Pageglean "', '"User-Agent: pageglean "'),
    ("spool write unchecked", "src/http/exchange.cpp", "if (const int err = support::write_at(spool, received.total, piece)) {", "if (const int err = 0 * support::write_at(spool, received.total, piece)) {"),
    ("date not taken", "src/response/header_scan.cpp", "m_result.last_modified = last_modified_date(m_line);", ""),
    ("scan one step late", "src/response/header_scan.cpp", "if (m_fed >= 4) step(m_fed - 3);", "if (m_fed >= 4) step(m_fed - 2);"),
    ("long lines kept", "src/response/header_scan.cpp", "if (neither_header || m_line.size() > k_max_header_line) {", "if (neither_header) {"),
    ("body length short", "src/response/body.cpp", "return length - body_start + 1;", "return length - body_start;"),
    ("side file without CR LF", "src/response/body.cpp", "int err = support::write_line(file.get(), value);", "int err = support::write_all(file.get(), value);"),
    ("read error as end", "src/response/response_file.cpp", "if (n < 0) return errno;", "if (n < 0) return 0;"),
    ("blank as plus", "src/redirect/redirect.cpp", 'escaped += "%20";', 'escaped += "+";'),
    ("dot segments kept", "src/redirect/redirect.cpp", "url.path = remove_dot_segments(merged)", "url.path = (merged)"),
    ("base cut at the query's slash", "src/redirect/redirect.cpp", "const std::size_t slash = hop_path.rfind('/');", "const std::size_t slash = hop.path.rfind('/');"),
    ("original one short", "src/redirect/redirect.cpp", "copy_range(response, 0, original.get(), length);", "copy_range(response, 0, original.get(), length - 1);"),
    ("port cut anywhere in host", "src/redirect/redirect.cpp", "if (!host.ends_with(port))", "if (host.find(port) == std::string_view::npos)"),
    ("work file written through", "src/support/file.cpp", "if (::unlink(name.c_str()) != 0 && errno != ENOENT) return Fd();", ""),
    ("short copy is success", "src/support/file.cpp", "if (n == 0) return EIO;\n        count -= n;", "if (n == 0) return 0;\n        count -= n;"),
    ("terminal not restored", "src/support/wait.cpp", "if (m_active) ::tcsetattr(m_fd, TCSANOW, &m_saved);", ""),
    ("key left in input", "src/support/wait.cpp", "(void)!::read(input_fd, key, sizeof key);", "(void)key;"),
    ("certificate not verified", "src/http/stream.cpp", "SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);", "SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);"),
    ("address not checked", "src/http/stream.cpp", "tls.X509_VERIFY_PARAM_set1_ip_asc(tls.SSL_get0_param(m_ssl), host.c_str()) != 1", "false"),
    ("https only in lower case", "src/support/url.cpp", "return lower(scheme) == k_https_scheme;", "return scheme == k_https_scheme;"),
    ("control byte host looked up", "src/http/endpoint.cpp", "if (is_unsafe(static_cast<unsigned char>(c))) return std::nullopt;", "if (is_unsafe(static_cast<unsigned char>(c)) && false) return std::nullopt;"),
    ("neutralising off on a terminal", "src/support/console.cpp", "if (console.terminal) {", "if (false) {"),
    ("output not truncated", "src/support/output_path.cpp", "if (S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(file.get(), 0) != 0) return errno;", ""),
    ("TLS without its library", "src/http/stream.cpp", "if (tls == nullptr) {", "if (false) {"),
    ("loud wait short", "src/run/driver.cpp", "k_loud_wait_ms = 60'000;", "k_loud_wait_ms = 6'000;"),
    ("body offset in 32 bits", "src/response/body.cpp", "support::copy_range(response, body_start - 1, output, count)",
     "support::copy_range(response, static_cast<std::int32_t>(body_start - 1), output, count)"),
    ("spool errno lost", "src/run/hop_files.cpp", 'if (!m_spool) return support::file_failure(errno, support::k_spool_file, "open");',
     'if (!m_spool) return support::file_failure(0, support::k_spool_file, "open");'),
    ("copy failure after a later one", "src/run/hop.cpp", "if (auto failure = files.close(went_through)) return *failure;",
     "if (auto failure = files.close(went_through); failure && !std::holds_alternative<support::Failure>(end)) return *failure;"),
    ("exception's errno lost", "src/run/hop.cpp", "return step_failure(step, dialed.stream, error.code().value());",
     "return step_failure(step, dialed.stream, ENOMEM);"),
    ("no copy without a thread", "src/response/response_file.cpp", "if (copy->started()) return std::nullopt;",
     "return std::nullopt;"),
    ("response file room as length", "src/support/file.cpp", "::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length)",
     "::fallocate(fd, 0, 0, length)"),
    ("receive handlers stay", "src/support/signals.cpp", "::sigaction(m_saved[i].signal, &m_saved[i].action, nullptr);",
     "(void)i;"),
    ("receive's note read before its handlers go back", "src/http/exchange.cpp",
     "received.failure = std::move(failure);\n        received.signal = signals.restore();",
     "received.failure = std::move(failure);\n        received.signal = signals.noted();"),
    ("key wait on input without a terminal", "src/support/wait.cpp", "if (!reads_keys(input_fd)) return 0;", ""),
    ("side file skipped when not made", "src/response/body.cpp", 'if (!file) return support::file_failure(errno, name, "open");',
     "if (!file) return std::nullopt;"),
    ("original's create errno lost", "src/redirect/redirect.cpp", 'if (!original) return support::file_failure(errno, name, "open");',
     'if (!original) return support::file_failure(EIO, name, "open");'),
    ("data length unsigned", "src/response/body.cpp", '"Data length: " + support::format_number(body_length(body_start, length)),',
     '"Data length: " + support::format_unsigned(static_cast<std::uint64_t>(body_length(body_start, length))),'),
    ("fragment sent", "src/support/url.cpp", "const std::size_t fragment_start = std::min(rest.find('#'), rest.size());", "const std::size_t fragment_start = rest.size();"),
    ("port ignored", "src/http/endpoint.cpp", "        endpoint.port = *number;", "        endpoint.port = support::k_http_port;"),
    ("port zero allowed", "src/http/endpoint.cpp", "if (!value || *value == 0) return std::nullopt;", "if (!value) return std::nullopt;"),
    ("path bytes not encoded", "src/http/endpoint.cpp", "if (is_unsafe(byte)) {\n            target += '%';", "if (false) {\n            target += '%';"),
    ("dot dot keeps its segment", "src/redirect/redirect.cpp", "            in.remove_prefix(3);\n            drop_last_segment();", "            in.remove_prefix(3);"),
    ("query replaces path", "src/redirect/redirect.cpp", "? std::string(hop_path).append(value.substr(query, fragment - query))", "? std::string(value.substr(query, fragment - query))"),
    ("only first address", "src/http/connection.cpp", "        if (!dialed.failure) break;\n    }", "        break;\n    }"),
    ("IPv6 lookup off", "src/http/connection.cpp", "hints.ai_family = AF_UNSPEC;", "hints.ai_family = AF_INET;"),
    ("receive never times out", "src/http/exchange.cpp", "if (ready == 0 && signals.noted() == 0) return end_receive(receive_failure(ETIMEDOUT));", ""),
    ("connect waits on", "src/http/connection.cpp", "if (ready == 0) return failure(ETIMEDOUT, \"connect()\");", "if (ready == 0) return failure(0, \"connect()\");"),
    ("timeout in minutes", "src/http/timeouts.cpp", "timeouts.idle_ms = value * 1000;", "timeouts.idle_ms = value * 60000;"),
    ("short body accepted", "src/http/length_check.cpp", "m_length < 0 || m_body >= m_length) {", "true) {"),
    ("304 counted short", "src/http/length_check.cpp", "|| m_status == 304;", ";"),
    ("length name case kept", "src/http/length_check.cpp", "if (support::lower(c) != k_content_length[m_name_matched]) {", "if (c != k_content_length[m_name_matched]) {"),
    ("sticky folders trusted", "src/support/output_path.cpp", "if (!shared(folder) || by == ::geteuid()", "if (!shared(folder) || true || by == ::geteuid()"),
    ("folder owner's file counted as planted", "src/support/output_path.cpp", "by == ::geteuid() || by == walk.owner(folder)", "by == ::geteuid()"),
    ("link target read in the current folder", "src/support/output_path.cpp", "    return start_at(walk, to);\n}",
     "    walk.folder = Fd(::open(\".\", O_PATH | O_DIRECTORY | O_CLOEXEC));\n    return start_at(walk, to);\n}"),
    ("output links followed by the kernel", "src/support/output_path.cpp", "? 0 : O_NOFOLLOW;", "? 0 : 0;"),
    ("links of /proc walked by hand", "src/support/output_path.cpp", "fs.f_type == PROC_SUPER_MAGIC ? 0", "false ? 0"),
    ("output FIFO opened waiting", "src/support/output_path.cpp", "O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC", "O_WRONLY | O_CREAT | O_CLOEXEC"),
    ("FIFO without a reader not judged", "src/support/output_path.cpp", "    if (const int refused = planted(walk, st)) return refused;\n", ""),
    ("opened work file not refused", "src/support/output_path.cpp", "if (work_file >= 0 && same_file(st, work_file)) return EINVAL;", "(void)work_file, (void)&same_file;"),
    ("41st link followed", "src/support/output_path.cpp", "++walk.links > k_max_links) return ELOOP;", "++walk.links > k_max_links + 1) return ELOOP;"),
    ("links to work files followed not", "src/support/work_files.cpp", "if (names_work_file(at)) return true;", "if (link == 0 && names_work_file(at)) return true;"),
    ("upper-case HTTP_PROXY read", "src/http/proxy.cpp", 'proxies.http = environment("http_proxy");', 'proxies.http = environment("HTTP_PROXY");'),
    ("no_proxy suffix without dot", "src/http/proxy.cpp", "name[name.size() - entry.size() - 1] == '.'", "true"),
    ("proxy request path only", "src/http/exchange.cpp", 'if (proxy) head.append("http://").append(authority);', ""),
    ("CONNECT refusal ignored", "src/http/tunnel.cpp", "|| m_line[9] != '2') return refuse(m_line);", "|| false) return refuse(m_line);"),
    ("base64 padding lost", "src/http/credentials.cpp", "out += j <= n ? k_alphabet[(group >> (18 - 6 * j)) & 63] : '=';", "if (j <= n) out += k_alphabet[(group >> (18 - 6 * j)) & 63];"),
    ("names narrowed to the machine's families", "src/http/connection.cpp", "hints.ai_socktype = SOCK_STREAM;\n", "hints.ai_socktype = SOCK_STREAM;\n    hints.ai_flags = AI_ADDRCONFIG;\n"),
    ("connect phase unbounded", "src/http/connection.cpp", "dialed.stream.bound_until(phase_end);", "(void)phase_end;"),
    ("timeout zero at once", "src/http/timeouts.cpp", "if (value == 0 || value > k_countable_seconds) return Timeouts{-1, -1};", "if (value > k_countable_seconds) return Timeouts{-1, -1};"),
    ("uncountable timeout wraps", "src/http/timeouts.cpp", "std::min(value * 10 + (*at - '0'), k_countable_seconds + 1)", "value * 10 + (*at - '0')"),
    ("timeout text kept silent", "src/run/program.cpp", "if (!timeouts) (void)", "if (false) (void)"),
    ("zone sent", "src/http/exchange.cpp", "const std::string authority = authority_sent(url);", "const std::string authority = url.authority;"),
    ("zone ignored", "src/http/connection.cpp", "        if (!endpoint.zone.empty()) {\n            peer.sin6_scope_id", "        if (false) {\n            peer.sin6_scope_id"),
    ("empty port after brackets default", "src/http/endpoint.cpp", "            port = after.substr(1);\n            if (port.empty()) return std::nullopt;", "            port = after.substr(1);"),
    ("stale errno on SSL_read", "src/http/stream.cpp", "errno = 0;  // an errno left by an earlier call must not pass for this one's\n    const int n = m_tls->SSL_read(", "const int n = m_tls->SSL_read("),
    ("records before a failure dropped", "src/http/stream.cpp", "if (got == 0) return read;", "return read;"),
    ("end after records not held", "src/http/stream.cpp", "if (read.wait == 0) m_held = std::move(read);", ""),
    ("TLS floor unchecked", "src/http/stream.cpp", "TLS1_2_VERSION, nullptr) != 1) {", "TLS1_2_VERSION, nullptr) != 1 && false) {"),
    ("refused setting worded as an end", "src/http/stream.cpp", 'if (reason.empty()) reason = std::string(call) + " failed";', 'if (reason.empty()) reason = std::string(call).substr(0, 0) + "unexpected end of file";'),
    ("signal before a wait missed", "src/support/signals.cpp", "if (g_noted == 0) {\n        pollfd", "if (true) {\n        pollfd"),
    ("spliced tail without its full receive", "src/http/exchange.cpp", "(piece - 1) % k_receive_size + 1 + k_receive_size)", "(piece - 1) % k_receive_size + 1)"),
    ("spliced tail never read back", "src/http/exchange.cpp", "if (front != size || size > bytes.size()) {", "if (false) {"),
    ("spliced body not counted", "src/http/exchange.cpp", "length.count_body(static_cast<std::int64_t>(size - front));", ""),
    ("no fallback from a socket without splice", "src/http/exchange.cpp", "if (read.failure && pipe && received.total == 0 && is_unsupported(read.failure->err)) {", "if (false) {"),
    ("urgent byte ends the splice", "src/http/exchange.cpp", "if (pipe && read.size == 0 && at_urgent_mark(stream.socket())) {", "if (pipe && read.size == 0 && at_urgent_mark(stream.socket()) && false) {"),
    ("spliced piece at the spool's start", "src/http/exchange.cpp", "loff_t at = offset + static_cast<std::int64_t>(drained.moved);", "loff_t at = offset * 0 + static_cast<std::int64_t>(drained.moved);"),
]


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True)


def main():
    check_only = "--check" in sys.argv[1:]
    wanted = [arg for arg in sys.argv[1:] if arg != "--check"]
    chosen = [m for m in MUTANTS if not wanted or any(part in m[0] for part in wanted)]
    stale = [name for name, file, text, _ in chosen if (TOP / file).read_text().count(text) != 1]
    for name in stale:
        print(f"{name}: STALE, its text is not in its file exactly once")
    if check_only:
        print(f"mutants: {len(chosen)}, stale: {len(stale)}")
        sys.exit(1 if stale else 0)

    with tempfile.TemporaryDirectory(prefix="pageglean-mutants-") as copy:
        tree = pathlib.Path(copy)
        for name in run(["git", "ls-files"], TOP).stdout.splitlines():
            (tree / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(TOP / name, tree / name)
        build = tree / "build" / "test"
        if run(["cmake", "--preset", "test"], tree).returncode != 0 or \
                run(["cmake", "--build", str(build), "-j2"], tree).returncode != 0:
            sys.exit("mutate: the unchanged copy does not build")
        killed, lived, unbuilt = [], [], []
        for name, file, text, replacement in chosen:
            if name in stale:
                continue
            path = tree / file
            original = path.read_text()
            try:
                path.write_text(original.replace(text, replacement))
                if run(["cmake", "--build", str(build), "-j2"], tree).returncode != 0:
                    unbuilt.append(name)
                    outcome = "DOES NOT BUILD (no kill)"
                else:
                    tests = run(["ctest", "--test-dir", str(build), "-j2", "--timeout", "90"], tree)
                    # the summary lists every test that did not pass: failed, timed out or ended by a signal
                    summary = tests.stdout.partition("The following tests FAILED:")[2]
                    failed = [line.split(" - ", 1)[1].rsplit(" (", 1)[0] for line in summary.splitlines()
                              if " - " in line]
                    if tests.returncode != 0:
                        killed.append(name)
                        outcome = f"killed by {len(failed)}: {', '.join(failed[:3])}"
                    else:
                        lived.append(name)
                        outcome = "LIVES"
            finally:
                path.write_text(original)  # written anew: its time is later than the build's
            print(f"{name}: {outcome}", flush=True)
    built = len(killed) + len(lived)
    print(f"mutants that built: {built}, killed: {len(killed)}, lived: {len(lived)}"
          + (f", score {len(killed) / built:.0%}" if built else ""))
    print(f"not built: {len(unbuilt)}, stale: {len(stale)}")
    sys.exit(1 if unbuilt or stale else 0)


if __name__ == "__main__":
    main()
