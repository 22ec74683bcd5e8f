#ifndef DAZOZAZIDOREZERARO_IPROTOCOL_H
#define DAZOZAZIDOREZERARO_IPROTOCOL_H

/// \file
/// The host framework's message interface.

#include <memory>

#include "Export.h"

/// The host framework: its message interface and the protocols behind it.
namespace Core {

/// The host framework's message interface: transport code recognises, sends
/// and clones a message through it without knowing the message's protocol.
class DAZOZAZIDOREZERARO_EXPORT IProtocol {
 public:
  /// Destroys the message through the interface.
  virtual ~IProtocol() = default;

  /// Recognises the first message in `length` bytes at `buffer`, reading none
  /// beyond them. On success `lastByteIndex` is the index of the message's
  /// last byte; on failure it is untouched.
  /// \return true when a message was recognised.
  virtual bool CreateMessageFromBuffer(const unsigned char* buffer, int length,
                                       int& lastByteIndex) = 0;
  /// Points `data` at the bytes the message holds and sets `length` to their
  /// number; they stay valid until the message changes or is destroyed.
  virtual void GetBuffer(const unsigned char*& data, int& length) const = 0;
  /// Returns a copy of the message, owned by the caller.
  virtual std::shared_ptr<IProtocol> Copy() = 0;

 protected:
  /// Only a concrete message builds its interface part.
  IProtocol() = default;
  /// Copies the interface part along with the concrete message.
  IProtocol(const IProtocol&) = default;
  /// Assigns the interface part along with the concrete message.
  IProtocol& operator=(const IProtocol&) = default;
};

}  // namespace Core

#endif
