#pragma once

// Certificates for TLS tests, made with OpenSSL in a temporary folder: a
// test CA, server certificates it signs (for given names, valid over given
// times) and self-signed ones, each written as PEM files beside its key.

#include <cstdio>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "TestDir.h"

class TestCerts
{
public:
    struct Cert {
        std::string cert; // PEM file of the certificate
        std::string key;  // PEM file of its private key
        std::string fingerprint;
    };

    TestCerts() { fCa = Make("ca", "Pelmor test CA", {}, -3600, 86400, nullptr, true); }

    const Cert& Ca() const { return fCa; }
    const TestDir& Dir() const { return fDir; }

    // A server certificate signed by the test CA (or, `selfSigned`, by its
    // own key) for `names` ("DNS:localhost", "IP:127.0.0.1"), valid from
    // `notBefore` to `notAfter` seconds from now.
    Cert Server(const std::string& file, const std::vector<std::string>& names,
                long notBefore = -3600, long notAfter = 86400, bool selfSigned = false)
    {
        return Make(file, names.empty() ? "server" : names[0].substr(names[0].find(':') + 1), names,
                    notBefore, notAfter, selfSigned ? nullptr : &fCa, false);
    }

    // Diffie-Hellman parameters for ngircd (GnuTLS makes them at start,
    // which takes a second or more, unless given a file).
    std::string DhParams()
    {
        std::string path = fDir / "dh.pem";
        std::string command =
            "openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out " + path +
            " 2>/dev/null";
        return system(command.c_str()) == 0 ? path : std::string();
    }

private:
    Cert Make(const std::string& file, const std::string& commonName,
              const std::vector<std::string>& names, long notBefore, long notAfter,
              const Cert* issuer, bool ca)
    {
        Cert made;
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* cert = X509_new();
        EVP_PKEY* issuerKey = issuer != nullptr ? ReadKey(issuer->key) : nullptr;
        X509* issuerCert = issuer != nullptr ? ReadCert(issuer->cert) : nullptr;
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), ++fSerial);
        X509_gmtime_adj(X509_getm_notBefore(cert), notBefore);
        X509_gmtime_adj(X509_getm_notAfter(cert), notAfter);
        X509_set_pubkey(cert, key);
        X509_NAME* subject = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0);
        X509_set_issuer_name(cert,
                             issuerCert != nullptr ? X509_get_subject_name(issuerCert) : subject);
        X509V3_CTX context;
        X509V3_set_ctx(&context, issuerCert != nullptr ? issuerCert : cert, cert, nullptr, nullptr,
                       0);
        std::string alt;
        for (const std::string& name : names)
            alt += (alt.empty() ? "" : ",") + name;
        AddExtension(cert, &context, NID_basic_constraints,
                     ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
        AddExtension(cert, &context, NID_key_usage,
                     ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
        AddExtension(cert, &context, NID_subject_key_identifier, "hash");
        if (issuerCert != nullptr)
            AddExtension(cert, &context, NID_authority_key_identifier, "keyid");
        if (!ca)
            AddExtension(cert, &context, NID_ext_key_usage, "serverAuth");
        if (!alt.empty())
            AddExtension(cert, &context, NID_subject_alt_name, alt.c_str());
        X509_sign(cert, issuerKey != nullptr ? issuerKey : key, EVP_sha256());

        made.cert = fDir / (file + ".crt");
        made.key = fDir / (file + ".key");
        if (FILE* out = fopen(made.cert.c_str(), "w")) {
            PEM_write_X509(out, cert);
            fclose(out);
        }
        if (FILE* out = fopen(made.key.c_str(), "w")) {
            PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
            fclose(out);
        }
        made.fingerprint = Fingerprint(made.cert);
        X509_free(issuerCert);
        EVP_PKEY_free(issuerKey);
        X509_free(cert);
        EVP_PKEY_free(key);
        return made;
    }

    // As the openssl command prints it: "AB:CD:..." (of the DER form).
    static std::string Fingerprint(const std::string& certFile)
    {
        std::string command = "openssl x509 -noout -fingerprint -sha256 -in " + certFile;
        std::string text;
        if (FILE* out = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof(buffer), out) != nullptr)
                text += buffer;
            pclose(out);
        }
        size_t equals = text.find('=');
        if (equals == std::string::npos)
            return std::string();
        text = text.substr(equals + 1);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text;
    }

    static void AddExtension(X509* cert, X509V3_CTX* context, int nid, const char* value)
    {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value);
        if (extension != nullptr) {
            X509_add_ext(cert, extension, -1);
            X509_EXTENSION_free(extension);
        }
    }
    static EVP_PKEY* ReadKey(const std::string& path)
    {
        FILE* in = fopen(path.c_str(), "r");
        EVP_PKEY* key =
            in != nullptr ? PEM_read_PrivateKey(in, nullptr, nullptr, nullptr) : nullptr;
        if (in != nullptr)
            fclose(in);
        return key;
    }
    static X509* ReadCert(const std::string& path)
    {
        FILE* in = fopen(path.c_str(), "r");
        X509* cert = in != nullptr ? PEM_read_X509(in, nullptr, nullptr, nullptr) : nullptr;
        if (in != nullptr)
            fclose(in);
        return cert;
    }

    TestDir fDir;
    long fSerial = 0;
    Cert fCa;
};
