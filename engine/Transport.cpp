#include "Transport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace
{

std::mutex sCaLock;
std::string sExtraCaFile; // under sCaLock

std::string extra_ca_file()
{
    std::lock_guard<std::mutex> lock(sCaLock);
    return sExtraCaFile;
}

// The newest error of this thread's OpenSSL queue as text, and the queue
// emptied: a later call on this thread must not see stale errors.
std::string take_ssl_error(unsigned long* code = nullptr)
{
    unsigned long error = ERR_peek_last_error();
    if (code != nullptr)
        *code = error;
    std::string text;
    if (error != 0) {
        const char* reason = ERR_reason_error_string(error);
        text = reason != nullptr ? reason : "error " + std::to_string(error);
    }
    ERR_clear_error();
    return text;
}

std::string fingerprint_of(X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return std::string();
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; i++) {
        if (i > 0)
            text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

bool is_address(const char* host)
{
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, host, buffer) == 1 || inet_pton(AF_INET6, host, buffer) == 1;
}

} // namespace

void Transport::set_extra_ca_file(const char* path)
{
    std::lock_guard<std::mutex> lock(sCaLock);
    sExtraCaFile = path != nullptr ? path : "";
}

Transport::Transport(int fd) : fFd(fd), fReadEvents(POLLIN), fWriteEvents(POLLOUT) {}

Transport::~Transport()
{
    // No close_notify: the socket is closed right after, and a refused
    // peer must not get even that much.
    SSL_free(fSsl);
    SSL_CTX_free(fContext);
}

bool Transport::StartTls(const char* host, const char* accepted)
{
    ERR_clear_error();
    fAccepted = accepted != nullptr ? accepted : "";
    // A context per connection: it is cheap next to a handshake, and the
    // CA file tests set takes effect on the next connection.
    fContext = SSL_CTX_new(TLS_client_method());
    if (fContext == nullptr) {
        fError = "cannot set up TLS: " + take_ssl_error();
        return false;
    }
    SSL_CTX_set_min_proto_version(fContext, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(fContext);
    std::string extra = extra_ca_file();
    if (!extra.empty() && SSL_CTX_load_verify_locations(fContext, extra.c_str(), nullptr) != 1) {
        fError = "cannot read the CA file " + extra;
        return false;
    }
    fSsl = SSL_new(fContext);
    if (fSsl == nullptr || SSL_set_fd(fSsl, fFd) != 1) {
        fError = "cannot set up TLS: " + take_ssl_error();
        return false;
    }
    // The engine's head line stays in place until written, but a retry
    // may start from a string that was swapped in; partial writes let a
    // long line go out as the socket takes it.
    SSL_set_mode(fSsl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Lines are complete or dropped, so a peer that closes without a
    // close_notify loses nothing a truncation could hide.
    SSL_set_options(fSsl, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The verdict is taken after the handshake (CheckCertificate), so
    // that a refusal can name its reason and fingerprint.
    SSL_set_verify(fSsl, SSL_VERIFY_NONE, nullptr);
    X509_VERIFY_PARAM* param = SSL_get0_param(fSsl);
    if (is_address(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host);
    } else {
        SSL_set_tlsext_host_name(fSsl, host);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, host, 0);
    }
    return true;
}

Transport::Result Transport::SslResult(int ret, short* events, bool writing, const char* what)
{
    int error = SSL_get_error(fSsl, ret);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        *events = POLLIN;
        return kWantRead;
    case SSL_ERROR_WANT_WRITE:
        *events = POLLOUT;
        return kWantWrite;
    case SSL_ERROR_ZERO_RETURN:
        ERR_clear_error();
        return kClosed;
    case SSL_ERROR_SYSCALL:
        if (errno == EINTR || errno == EAGAIN) {
            *events = writing ? POLLOUT : POLLIN;
            return writing ? kWantWrite : kWantRead;
        }
        if (ERR_peek_error() == 0 && errno == 0) {
            fError = "the server closed the connection";
            return kClosed;
        }
        fError = ERR_peek_error() != 0 ? take_ssl_error() : strerror(errno);
        return kFailed;
    default: {
        unsigned long code = 0;
        fError = take_ssl_error(&code);
        int reason = ERR_GET_REASON(code);
        if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
            reason == SSL_R_RECORD_LENGTH_MISMATCH || reason == SSL_R_UNKNOWN_PROTOCOL)
            fNotTls = true;
        if (fError.empty())
            fError = std::string(what) + " failed";
        return kFailed;
    }
    }
}

Transport::Result Transport::Handshake()
{
    if (fSsl == nullptr)
        return kDone;
    ERR_clear_error();
    errno = 0;
    int ret = SSL_connect(fSsl);
    if (ret != 1) {
        short events = POLLIN;
        Result result = SslResult(ret, &events, false, "handshake");
        fReadEvents = fWriteEvents = events;
        if (result == kClosed) {
            fError = "the server closed the connection during the TLS handshake";
            result = kFailed;
        }
        return result;
    }
    fReadEvents = POLLIN;
    fWriteEvents = POLLOUT;
    return CheckCertificate() ? kDone : kFailed;
}

bool Transport::CheckCertificate()
{
    X509* certificate = SSL_get1_peer_certificate(fSsl);
    if (certificate == nullptr) {
        fError = "the server sent no certificate";
        fRefused = true;
        return false;
    }
    fFingerprint = fingerprint_of(certificate);
    X509_free(certificate);
    long verdict = SSL_get_verify_result(fSsl);
    if (verdict == X509_V_OK)
        return true;
    // Only the very certificate the user accepted: another one for the
    // same server must pass on its own.
    if (!fAccepted.empty() && fFingerprint == fAccepted)
        return true;
    fError = X509_verify_cert_error_string(verdict);
    fRefused = true;
    return false;
}

Transport::Result Transport::Read(char* buffer, size_t size, size_t* got)
{
    *got = 0;
    if (fSsl == nullptr) {
        for (;;) {
            ssize_t n = recv(fFd, buffer, size, 0);
            if (n > 0) {
                *got = size_t(n);
                return kDone;
            }
            if (n == 0)
                return kClosed;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return kWantRead;
            fError = strerror(errno);
            return kFailed;
        }
    }
    ERR_clear_error();
    errno = 0;
    int n = SSL_read(fSsl, buffer, int(std::min<size_t>(size, INT_MAX)));
    if (n > 0) {
        *got = size_t(n);
        return kDone;
    }
    return SslResult(n, &fReadEvents, false, "read");
}

Transport::Result Transport::Write(const char* data, size_t size, size_t* written)
{
    *written = 0;
    if (fSsl == nullptr) {
        for (;;) {
            ssize_t n = send(fFd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                *written = size_t(n);
                return kDone;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return kWantWrite;
            fError = n < 0 ? strerror(errno) : "nothing written";
            return kFailed;
        }
    }
    ERR_clear_error();
    errno = 0;
    // OpenSSL writes with write(), not send(MSG_NOSIGNAL): the network
    // thread blocks SIGPIPE for this.
    int n = SSL_write(fSsl, data, int(std::min<size_t>(size, INT_MAX)));
    if (n > 0) {
        *written = size_t(n);
        return kDone;
    }
    return SslResult(n, &fWriteEvents, true, "write");
}

bool Transport::Buffered() const
{
    return fSsl != nullptr && SSL_pending(fSsl) > 0;
}

std::string Transport::Description() const
{
    if (fSsl == nullptr)
        return std::string();
    const char* cipher = SSL_get_cipher_name(fSsl);
    return std::string(SSL_get_version(fSsl)) + " " + (cipher != nullptr ? cipher : "");
}
