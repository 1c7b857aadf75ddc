#include "http/tls_library.h"

#include <dlfcn.h>
#include <openssl/opensslv.h>

#include <cstdint>
#include <optional>

namespace http {

namespace {

static_assert(OPENSSL_VERSION_MAJOR == 3, "the calls are pinned to libssl.so.3's symbol versions");

#define PAGEGLEAN_LIBSSL "libssl.so.3"
// What the program loads at run time, in the ELF note packagers read for it (owner "FDO",
// type 0x407c0c0a, a JSON list): ldd cannot see a loaded library, package tools see this.
#define PAGEGLEAN_DLOPEN_JSON                                                   \
    R"([{"feature":"tls","description":"https:// URLs","priority":"required",)" \
    R"("soname":[")" PAGEGLEAN_LIBSSL R"("]}])"

struct DlopenNote {
    std::uint32_t owner_size, json_size, type;
    char owner[4];
    alignas(4) char json[sizeof PAGEGLEAN_DLOPEN_JSON];
};
[[gnu::used, gnu::section(".note.dlopen")]] alignas(4) const DlopenNote dlopen_note = {
    4, sizeof PAGEGLEAN_DLOPEN_JSON, 0x407c0c0a, "FDO", PAGEGLEAN_DLOPEN_JSON};

// The version node of every call bound below, the one a program linked with libssl 3 would
// name: a later libssl that keeps an old call beside a changed one hands over the old. The
// package's dependency takes its lowest version from the same definition.
constexpr const char* symbol_version = "OPENSSL_" PAGEGLEAN_LIBSSL_VERSION;

std::string loader_words() {
    const char* words = ::dlerror();
    return words != nullptr ? words : "cannot load " PAGEGLEAN_LIBSSL;
}

template <typename Call>
bool bind_call(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(::dlvsym(library, name, symbol_version));
    return call != nullptr;
}

struct Loaded {
    std::optional<TlsLibrary> calls;
    std::string why;
};

Loaded load() {
    Loaded loaded;
    // libssl brings libcrypto with it; the calls of both are found through its handle
    void* library = ::dlopen(PAGEGLEAN_LIBSSL, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        loaded.why = loader_words();
        return loaded;
    }
    TlsLibrary tls{};
#define PAGEGLEAN_BIND(name) bind_call(library, #name, tls.name)
    const bool bound =
        PAGEGLEAN_BIND(TLS_client_method) && PAGEGLEAN_BIND(SSL_CTX_new) &&
        PAGEGLEAN_BIND(SSL_CTX_free) && PAGEGLEAN_BIND(SSL_CTX_ctrl) &&
        PAGEGLEAN_BIND(SSL_CTX_set_options) && PAGEGLEAN_BIND(SSL_CTX_set_verify) &&
        PAGEGLEAN_BIND(SSL_CTX_set_default_verify_paths) && PAGEGLEAN_BIND(SSL_new) &&
        PAGEGLEAN_BIND(SSL_free) && PAGEGLEAN_BIND(SSL_set_fd) && PAGEGLEAN_BIND(SSL_ctrl) &&
        PAGEGLEAN_BIND(SSL_set1_host) && PAGEGLEAN_BIND(SSL_get0_param) &&
        PAGEGLEAN_BIND(SSL_connect) && PAGEGLEAN_BIND(SSL_read) && PAGEGLEAN_BIND(SSL_write) &&
        PAGEGLEAN_BIND(SSL_get_error) && PAGEGLEAN_BIND(SSL_get_verify_result) &&
        PAGEGLEAN_BIND(X509_verify_cert_error_string) &&
        PAGEGLEAN_BIND(X509_VERIFY_PARAM_set1_ip_asc) && PAGEGLEAN_BIND(ERR_get_error) &&
        PAGEGLEAN_BIND(ERR_clear_error) && PAGEGLEAN_BIND(ERR_reason_error_string);
#undef PAGEGLEAN_BIND
    if (!bound) {
        loaded.why = loader_words();
        return loaded;
    }
    loaded.calls = tls;
    return loaded;
}

}  // namespace

const TlsLibrary* tls_library(std::string& why) {
    static const Loaded loaded = load();
    why = loaded.why;
    return loaded.calls ? &*loaded.calls : nullptr;
}

}  // namespace http
