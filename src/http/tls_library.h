#pragma once

// OpenSSL, loaded at the first TLS connection. A run over plain HTTP never maps it, which
// spares the loader its work at every start: linked, libssl and libcrypto cost a quarter of
// the program's time and 1.8 MiB of its memory for a 1 MiB page.

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

namespace http {

// The calls a stream makes, typed as the headers declare them.
struct TlsLibrary {
    decltype(&::TLS_client_method) TLS_client_method;
    decltype(&::SSL_CTX_new) SSL_CTX_new;
    decltype(&::SSL_CTX_free) SSL_CTX_free;
    decltype(&::SSL_CTX_ctrl) SSL_CTX_ctrl;
    decltype(&::SSL_CTX_set_options) SSL_CTX_set_options;
    decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify;
    decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths;
    decltype(&::SSL_new) SSL_new;
    decltype(&::SSL_free) SSL_free;
    decltype(&::SSL_set_fd) SSL_set_fd;
    decltype(&::SSL_ctrl) SSL_ctrl;
    decltype(&::SSL_set1_host) SSL_set1_host;
    decltype(&::SSL_get0_param) SSL_get0_param;
    decltype(&::SSL_connect) SSL_connect;
    decltype(&::SSL_read) SSL_read;
    decltype(&::SSL_write) SSL_write;
    decltype(&::SSL_get_error) SSL_get_error;
    decltype(&::SSL_get_verify_result) SSL_get_verify_result;
    decltype(&::X509_verify_cert_error_string) X509_verify_cert_error_string;
    decltype(&::X509_VERIFY_PARAM_set1_ip_asc) X509_VERIFY_PARAM_set1_ip_asc;
    decltype(&::ERR_get_error) ERR_get_error;
    decltype(&::ERR_clear_error) ERR_clear_error;
    decltype(&::ERR_reason_error_string) ERR_reason_error_string;
};

// The system's libssl.so.3, loaded once per process and never unloaded, its calls bound at
// their OPENSSL_3.0.0 symbol versions; nullptr when it cannot be loaded or lacks a call at
// that version, with the loader's words in `why`.
const TlsLibrary* tls_library(std::string& why);

}  // namespace http
