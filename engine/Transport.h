#pragma once

// The bytes of one connection: plain TCP or TLS (OpenSSL) over the engine's
// non-blocking socket. The engine's network thread keeps its own loop
// shape: it asks the transport to read, write or shake hands, and on
// kWantRead / kWantWrite polls the socket for what the transport said it
// needs, together with its wake-up descriptor, so it stays wakeable in
// every state. The transport never waits itself.
//
// TLS specifics the loop must respect: a read may need the socket to be
// writable and a write readable (Events() says which); decrypted bytes may
// wait inside OpenSSL with nothing left on the socket (Buffered()), so the
// loop must read those before it polls; and a write that returned
// kWantWrite is retried with the same bytes, which the engine does since
// its head line stays put until it is out.
//
// The certificate is checked after the handshake, not during it, so that
// the reason and the certificate's fingerprint are known when it fails: a
// chain that does not verify to the system store (plus the test CA file,
// if set), or a name that does not match, is refused unless the
// certificate's SHA-256 fingerprint is the one the user accepted. Nothing
// is written on a refused connection.
//
// One network thread owns a transport; it is not shared.

#include <cstddef>
#include <string>

#include <SupportDefs.h>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

class Transport
{
public:
    enum Result { kDone, kWantRead, kWantWrite, kClosed, kFailed };

    // Plain TCP over `fd` (not owned).
    explicit Transport(int fd);
    ~Transport();

    // Turns this into a TLS client for `host` (a name: sent as SNI and
    // checked against the certificate; an address: checked as such).
    // `accepted` is a fingerprint the user trusts ("AB:CD:..."), or "".
    // False, with Error() set, when OpenSSL cannot be set up.
    bool StartTls(const char* host, const char* accepted);
    bool IsTls() const { return fSsl != nullptr; }

    // One step of the handshake; plain connections are done at once.
    // kDone also means the certificate passed; kFailed with Error() and,
    // for a refused certificate, CertificateRefused() and Fingerprint().
    Result Handshake();

    Result Read(char* buffer, size_t size, size_t* got);
    Result Write(const char* data, size_t size, size_t* written);
    // Decrypted bytes waiting inside OpenSSL: read them before polling.
    bool Buffered() const;
    // The poll events the last kWantRead / kWantWrite of a read (or of a
    // write) asked for.
    short ReadEvents() const { return fReadEvents; }
    short WriteEvents() const { return fWriteEvents; }

    const std::string& Error() const { return fError; }
    bool CertificateRefused() const { return fRefused; }
    // Whether the peer's first bytes were no TLS record (a plain port).
    bool PeerNotTls() const { return fNotTls; }
    const std::string& Fingerprint() const { return fFingerprint; }
    // "TLSv1.3 TLS_AES_256_GCM_SHA384" once the handshake is done.
    std::string Description() const;

    // A CA file trusted beside the system store (tests); null for none.
    static void set_extra_ca_file(const char* path);

    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

private:
    // Sorts an OpenSSL failure; `*events` gets what a retry waits for.
    Result SslResult(int ret, short* events, bool writing, const char* what);
    bool CheckCertificate();

    int fFd;
    SSL_CTX* fContext = nullptr;
    SSL* fSsl = nullptr;
    short fReadEvents;
    short fWriteEvents;
    bool fRefused = false;
    bool fNotTls = false;
    std::string fAccepted;
    std::string fFingerprint;
    std::string fError;
};
