#include "http/tls_library.h"

#include <dlfcn.h>
#include <openssl/opensslv.h>

#include <optional>

namespace http {

namespace {

// the name the linker would have recorded had the program been linked with libssl
std::string library_name() { return "libssl.so." + std::to_string(OPENSSL_VERSION_MAJOR); }

std::string loader_words() {
    const char* words = ::dlerror();
    return words != nullptr ? words : "cannot load " + library_name();
}

template <typename Call>
bool bind_call(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(::dlsym(library, name));
    return call != nullptr;
}

struct Loaded {
    std::optional<TlsLibrary> calls;
    std::string why;
};

Loaded load() {
    Loaded loaded;
    // libssl brings libcrypto with it; the calls of both are found through its handle
    void* library = ::dlopen(library_name().c_str(), RTLD_NOW | RTLD_LOCAL);
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
        PAGEGLEAN_BIND(SSL_CTX_get_verify_mode) &&
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
