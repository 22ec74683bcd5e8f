#ifndef DAZOZAZIDOREZERARO_IPROTOCOL_H
#define DAZOZAZIDOREZERARO_IPROTOCOL_H

#include <memory>

#include "Export.h"

namespace Core {

// The host framework's message interface: transport code recognises, sends
// and clones a message through it without knowing the message's protocol.
class DAZOZAZIDOREZERARO_EXPORT IProtocol {
 public:
  virtual ~IProtocol() = default;

  virtual bool CreateMessageFromBuffer(const unsigned char* buffer, int length,
                                       int& lastByteIndex) = 0;
  virtual void GetBuffer(const unsigned char*& data, int& length) const = 0;
  virtual std::shared_ptr<IProtocol> Copy() = 0;

 protected:
  IProtocol() = default;
  IProtocol(const IProtocol&) = default;
  IProtocol& operator=(const IProtocol&) = default;
};

}  // namespace Core

#endif
