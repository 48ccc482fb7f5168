// TLS for https on Win32: Schannel (through SSPI) over a Winsock transport
// of http_win.cpp. The handshake names the host (SNI); its certificate is
// then checked here, against the system's trusted roots and the host name
// (CertGetCertificateChain, the SSL chain policy), since Schannel is told to
// leave that to the caller. Every wait is the inner transport's, bounded by
// the open's deadline or the body's stall bound, and its Shutdown ends this
// one too. Closing a connection that is still up sends close_notify.
#define SECURITY_WIN32
#include "platform/win32/tls_schannel_win.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/thread.h"

namespace plat {

namespace {

constexpr size_t kReceivePiece = 16384;
// How long a close waits to hand its close_notify over.
constexpr uint32_t kCloseNotifyMs = 1000;
constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

CertProblem ProblemOf(HRESULT policyError) {
    switch (policyError) {
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING: return CertProblem::kExpired;
    case CERT_E_CN_NO_MATCH: return CertProblem::kWrongName;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDCA:
    case CERT_E_CHAINING:
    case TRUST_E_CERT_SIGNATURE: return CertProblem::kUntrusted;
    default: return CertProblem::kOther;
    }
}

class SchannelTransport : public HttpTransport {
public:
    explicit SchannelTransport(std::unique_ptr<HttpTransport> tcp) : tcp_(std::move(tcp)) {}
    ~SchannelTransport() override {
        if (haveContext_) {
            if (up_) SendCloseNotify();
            DeleteSecurityContext(&ctx_);
        }
        if (haveCred_) FreeCredentialsHandle(&cred_);
    }
    bool Connect(const std::string& host, int port, uint32_t deadline, std::string* error) override {
        host_ = host;
        if (!tcp_->Connect(host, port, deadline, error)) return false;
        SCHANNEL_CRED sc{};
        sc.dwVersion = SCHANNEL_CRED_VERSION;
        sc.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        TimeStamp expiry;
        haveCred_ = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                              nullptr, &sc, nullptr, nullptr, &cred_, &expiry) == SEC_E_OK;
        if (!haveCred_) {
            *error = TlsFailedText(host) + " (Schannel could not be started)";
            return false;
        }
        if (!Negotiate(deadline, error)) return false;
        if (!CheckCertificate(error)) return false;
        up_ = QueryContextAttributesA(&ctx_, SECPKG_ATTR_STREAM_SIZES, &sizes_) == SEC_E_OK;
        if (!up_) *error = TlsFailedText(host);
        return up_;
    }
    bool Send(const char* data, size_t n, uint32_t deadline) override {
        std::string record;
        while (n > 0) {
            ULONG piece = static_cast<ULONG>(std::min<size_t>(n, sizes_.cbMaximumMessage));
            record.assign(sizes_.cbHeader + piece + sizes_.cbTrailer, '\0');
            std::memcpy(&record[sizes_.cbHeader], data, piece);
            SecBuffer b[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
                              {piece, SECBUFFER_DATA, &record[sizes_.cbHeader]},
                              {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[sizes_.cbHeader + piece]},
                              {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc d{SECBUFFER_VERSION, 4, b};
            if (EncryptMessage(&ctx_, 0, &d, 0) != SEC_E_OK) return false;
            if (!tcp_->Send(record.data(), b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer, deadline)) return false;
            data += piece;
            n -= piece;
        }
        return true;
    }
    int Receive(char* dst, size_t n, uint32_t deadline) override {
        for (;;) {
            if (plainPos_ < plain_.size()) {
                size_t k = std::min(n, plain_.size() - plainPos_);
                std::memcpy(dst, plain_.data() + plainPos_, k);
                plainPos_ += k;
                return static_cast<int>(k);
            }
            if (peerClosed_) return kTransportClosed;
            if (!in_.empty()) {
                SECURITY_STATUS st = Decrypt();
                if (st == SEC_E_OK) continue;
                if (st == SEC_I_CONTEXT_EXPIRED) {  // the server's close_notify
                    peerClosed_ = true;
                    up_ = false;
                    continue;
                }
                if (st == SEC_I_RENEGOTIATE) {  // (TLS 1.3 tickets and key updates come this way)
                    std::string ignored;
                    if (!Negotiate(deadline, &ignored)) return kTransportFailed;
                    continue;
                }
                if (st != SEC_E_INCOMPLETE_MESSAGE) return kTransportFailed;
            }
            int k = ReceiveMore(deadline);
            if (k <= 0) return k;
        }
    }
    void Shutdown() override { tcp_->Shutdown(); }

private:
    int ReceiveMore(uint32_t deadline) {
        char buf[kReceivePiece];
        int k = tcp_->Receive(buf, sizeof buf, deadline);
        if (k > 0) in_.append(buf, static_cast<size_t>(k));
        return k;
    }

    // Keeps the bytes past what the last call took (a SECBUFFER_EXTRA at
    // the end of the input), or none.
    void KeepExtra(const SecBuffer& b) {
        if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0)
            in_.erase(0, in_.size() - b.cbBuffer);
        else
            in_.clear();
    }

    // The handshake (or a renegotiation), fed from in_ and the connection
    // until Schannel has what it wants. The bytes after it stay in in_.
    bool Negotiate(uint32_t deadline, std::string* error) {
        for (;;) {
            SecBuffer inBufs[2] = {{static_cast<ULONG>(in_.size()), SECBUFFER_TOKEN, in_.empty() ? nullptr : &in_[0]},
                                   {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBufs};
            SecBuffer outBuf{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuf};
            ULONG attrs = 0;
            SECURITY_STATUS st = InitializeSecurityContextA(
                &cred_, haveContext_ ? &ctx_ : nullptr, &host_[0], kContextFlags, 0, 0,
                haveContext_ ? &inDesc : nullptr, 0, &ctx_, &outDesc, &attrs, nullptr);
            if (!haveContext_ && (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
            if (outBuf.pvBuffer) {
                bool sent = outBuf.cbBuffer == 0 ||
                            tcp_->Send(static_cast<const char*>(outBuf.pvBuffer), outBuf.cbBuffer, deadline);
                FreeContextBuffer(outBuf.pvBuffer);
                if (!sent && !FAILED(st)) return Failed(deadline, error);
            }
            if (st == SEC_E_OK) {
                KeepExtra(inBufs[1]);
                return true;
            }
            if (st == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // asked for a client certificate: there is none
            if (st == SEC_I_CONTINUE_NEEDED) {
                KeepExtra(inBufs[1]);
                if (!in_.empty()) continue;
            } else if (st != SEC_E_INCOMPLETE_MESSAGE) {
                char code[16];
                std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(st));
                *error = TlsFailedText(host_) + " (error 0x" + code + ")";
                return false;
            }
            if (ReceiveMore(deadline) <= 0) return Failed(deadline, error);
        }
    }

    bool Failed(uint32_t deadline, std::string* error) {
        *error = MsUntil(deadline) == 0 ? "The server did not answer in time" : TlsFailedText(host_);
        return false;
    }

    // The server's certificate against the trusted roots and host_.
    bool CheckCertificate(std::string* error) {
        PCCERT_CONTEXT cert = nullptr;
        if (QueryContextAttributesA(&ctx_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
            *error = CertProblemText(CertProblem::kOther, host_);
            return false;
        }
        LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
        CERT_CHAIN_PARA para{};
        para.cbSize = sizeof para;
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        DWORD problem = CERT_E_UNTRUSTEDROOT;
        if (CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain)) {
            std::wstring name(host_.begin(), host_.end());  // a host name is ASCII (IDNs in their xn-- form)
            SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
            ssl.cbSize = sizeof ssl;
            ssl.dwAuthType = AUTHTYPE_SERVER;
            ssl.pwszServerName = &name[0];
            CERT_CHAIN_POLICY_PARA policy{};
            policy.cbSize = sizeof policy;
            policy.pvExtraPolicyPara = &ssl;
            CERT_CHAIN_POLICY_STATUS status{};
            status.cbSize = sizeof status;
            if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
                problem = status.dwError;
            // The chain's own findings as well: a chain that stops short of
            // any root passes some policies (Wine's).
            DWORD found = chain->TrustStatus.dwErrorStatus;
            if (problem == 0 && (found & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT |
                                          CERT_TRUST_IS_NOT_SIGNATURE_VALID)))
                problem = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
            if (problem == 0 && (found & CERT_TRUST_IS_NOT_TIME_VALID)) problem = static_cast<DWORD>(CERT_E_EXPIRED);
            CertFreeCertificateChain(chain);
        }
        CertFreeCertificateContext(cert);
        if (problem != 0) *error = CertProblemText(ProblemOf(static_cast<HRESULT>(problem)), host_);
        return problem == 0;
    }

    // Decrypts the first record of in_ into plain_.
    SECURITY_STATUS Decrypt() {
        SecBuffer b[4] = {{static_cast<ULONG>(in_.size()), SECBUFFER_DATA, &in_[0]},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc d{SECBUFFER_VERSION, 4, b};
        SECURITY_STATUS st = DecryptMessage(&ctx_, &d, 0, nullptr);
        if (st != SEC_E_OK && st != SEC_I_RENEGOTIATE && st != SEC_I_CONTEXT_EXPIRED) return st;
        plain_.clear();
        plainPos_ = 0;
        const SecBuffer* extra = nullptr;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.pvBuffer) plain_.assign(static_cast<char*>(x.pvBuffer), x.cbBuffer);
            if (x.BufferType == SECBUFFER_EXTRA) extra = &x;
        }
        if (extra)
            KeepExtra(*extra);
        else
            in_.clear();
        return st;
    }

    void SendCloseNotify() {
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
        if (ApplyControlToken(&ctx_, &controlDesc) != SEC_E_OK) return;
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        ULONG attrs = 0;
        SECURITY_STATUS st = InitializeSecurityContextA(&cred_, &ctx_, &host_[0], kContextFlags, 0, 0, nullptr, 0,
                                                        &ctx_, &outDesc, &attrs, nullptr);
        if (out.pvBuffer) {
            if (!FAILED(st) && out.cbBuffer > 0)
                tcp_->Send(static_cast<const char*>(out.pvBuffer), out.cbBuffer, TickCount() + kCloseNotifyMs);
            FreeContextBuffer(out.pvBuffer);
        }
    }

    std::unique_ptr<HttpTransport> tcp_;
    std::string host_;
    CredHandle cred_{};
    CtxtHandle ctx_{};
    bool haveCred_ = false, haveContext_ = false;
    bool up_ = false;          // the handshake is done and the connection not closed by the server
    bool peerClosed_ = false;  // the server's close_notify came
    SecPkgContext_StreamSizes sizes_{};
    std::string in_;     // received, not yet decrypted
    std::string plain_;  // decrypted, not yet read: plain_[plainPos_..]
    size_t plainPos_ = 0;
};

}  // namespace

std::unique_ptr<HttpTransport> NewSchannelTransport(std::unique_ptr<HttpTransport> tcp) {
    return std::make_unique<SchannelTransport>(std::move(tcp));
}

}  // namespace plat
