// Tavix CallerID: the certificate authorities every HTTPS connection trusts, read once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct x509_store_st;

// The system's authorities and, where a shop names one, those of its own file, as one OpenSSL
// store that every connection of every transfer shares: no connection reads or parses them
// again, which was most of a fresh connection's time and about a megabyte per connection.
// The files are read again only when one of them changes.
class CertificateStore
{
  public:
    // A shop's file holds a few authorities; anything larger is not such a file.
    static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

    // The store for caFile (empty: the system's authorities alone) as the files are now; made
    // anew when caFile or either file changed since the last call. Thread-safe. Never blocks on
    // a FIFO or a device: caFile must be a regular file.
    static std::shared_ptr<const CertificateStore> current(const std::string& caFile);

    ~CertificateStore();
    CertificateStore(const CertificateStore&) = delete;
    CertificateStore& operator=(const CertificateStore&) = delete;

    // Empty when usable; otherwise why caFile cannot be used, naming it.
    const std::string& problem() const { return m_problem; }
    // Makes an OpenSSL SSL_CTX trust this store (for CURLOPT_SSL_CTX_FUNCTION).
    void applyTo(void* sslContext) const;

  private:
    CertificateStore() = default;
    static std::shared_ptr<const CertificateStore> load(const std::string& caFile);

    x509_store_st* m_store = nullptr;
    std::string m_problem;
};
