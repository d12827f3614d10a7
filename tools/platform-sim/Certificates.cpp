#include "Certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

struct PkeyFree
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free
{
    void operator()(X509* p) const { X509_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

X509Ptr makeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool isCa)
{
    X509Ptr cert(X509_new());
    X509_set_version(cert.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Platform Simulator"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    bool ok = true;
    if (isCa) {
        ok = addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign") &&
             addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        ok = addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
             addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
             addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
             addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
             addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    }
    if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0)
        return nullptr;
    return cert;
}

bool writePem(const std::string& path, const std::function<bool(FILE*)>& writer, bool secret)
{
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    if (secret)
        fchmod(fileno(f), 0600);
    bool ok = writer(f);
    ok = fclose(f) == 0 && ok;
    return ok && rename(tmp.c_str(), path.c_str()) == 0;
}

} // namespace

Certificates::Certificates(std::string dataDir) : m_dir(std::move(dataDir)) {}

bool Certificates::ensure(std::string& error)
{
    if (fileExists(caFile()) && fileExists(certFile()) && fileExists(keyFile()))
        return true;
    return create(error);
}

bool Certificates::create(std::string& error)
{
    PkeyPtr caKey(EVP_RSA_gen(2048));
    PkeyPtr serverKey(EVP_RSA_gen(2048));
    if (!caKey || !serverKey) {
        error = "key generation failed";
        return false;
    }
    X509Ptr ca = makeCert(caKey.get(), "Platform Simulator Local CA", nullptr, caKey.get(), true);
    if (!ca) {
        error = "CA certificate could not be made";
        return false;
    }
    X509Ptr server = makeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), false);
    if (!server) {
        error = "server certificate could not be made";
        return false;
    }
    // The chain file carries the CA too, so clients that only know ca.pem see a full path.
    bool ok =
        writePem(
            keyFile(),
            [&](FILE* f) {
                return PEM_write_PrivateKey(f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
            },
            true) &&
        writePem(
            certFile(),
            [&](FILE* f) { return PEM_write_X509(f, server.get()) && PEM_write_X509(f, ca.get()); }, false) &&
        writePem(
            caFile(), [&](FILE* f) { return PEM_write_X509(f, ca.get()) == 1; }, false);
    if (!ok)
        error = "certificate files could not be written in " + m_dir;
    return ok;
}
