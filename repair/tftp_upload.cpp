#include "repair/tftp_upload.h"

#include <utility>

#include "tftp/tftp_client.h"

namespace repair {

namespace {

class TftpClientSession : public TftpSession {
 public:
  template <typename... Args>
  explicit TftpClientSession(Args&&... args) : client_(std::forward<Args>(args)...) {}

  bool Connect() override { return client_.connectToServer(); }

  void SetProgressObserver(ProgressObserver observer) override { client_.setProgressObserver(std::move(observer)); }
  void SetRequestRetryObserver(RequestRetryObserver observer) override {
    client_.setRequestRetryObserver(std::move(observer));
  }

  TftpUploadResult Send(const uint8_t* data, int32_t length) override {
    // A missing buffer or a length of 0 or less is refused by the client,
    // which logs it.
    client_.sendBuffer(reinterpret_cast<const char*>(data), length);
    return client_.lastResult();
  }

 private:
  TftpClient client_;
};

}  // namespace

TftpClientSessionFactory::TftpClientSessionFactory() : use_default_server_(true) {}

TftpClientSessionFactory::TftpClientSessionFactory(std::string server_address, int server_port, int reply_timeout_ms)
    : use_default_server_(false),
      server_address_(std::move(server_address)),
      server_port_(server_port),
      reply_timeout_ms_(reply_timeout_ms) {}

std::unique_ptr<TftpSession> TftpClientSessionFactory::Create() {
  if (use_default_server_) {
    return std::make_unique<TftpClientSession>();
  }
  return std::make_unique<TftpClientSession>(server_address_.c_str(), server_port_, reply_timeout_ms_);
}

}  // namespace repair
