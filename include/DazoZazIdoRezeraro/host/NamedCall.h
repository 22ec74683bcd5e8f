#ifndef DAZOZAZIDOREZERARO_HOST_NAMEDCALL_H
#define DAZOZAZIDOREZERARO_HOST_NAMEDCALL_H

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/error_code.hpp>
#include <string>
#include <string_view>
#include <utility>

#include "BlockingSession.h"
#include "Catalogue.h"
#include "Errors.h"
#include "Export.h"
#include "Records.h"
#include "Result.h"
#include "Session.h"

/// @file
/// Named calls: a catalogued procedure called with named arguments, its
/// reply read into named values. Every named call takes the same two steps
/// around the session's call, whichever session makes it: PrepareNamedCall
/// before anything is sent, ReadNamedReply once the reply is in. The typed
/// calls, the tool and the Python package all call through here.

namespace Core::GEOCOM::host {

/// A named call ready to be sent: the procedure and its parameter text.
struct NamedRequest {
  const Procedure* procedure = nullptr;  ///< The catalogued procedure.
  std::string parameters;                ///< The packed arguments.
};

/// A reply with its values named by the catalogue.
struct NamedReply {
  Reply reply;    ///< The reply, with its diagnostics when the call failed.
  Fields values;  ///< The reply's values; empty when the call failed.
};

/// The named procedure with its arguments packed by the catalogue (defaults
/// filled in, each checked). Fails with kInvalidArgument naming the unknown
/// procedure or the bad argument; nothing is sent then.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<NamedRequest> PrepareNamedCall(
    std::string_view procedure, const Fields& arguments);
/// The same for a procedure found already.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<NamedRequest> PrepareNamedCall(
    const Procedure& procedure, const Fields& arguments);

/// The values of a successful reply, read once, strictly, by the catalogue.
/// Fails with kInvalidReply naming the value, the error carrying the reply's
/// bytes.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Fields> ReadNamedReply(
    const Procedure& procedure, const Reply& reply);

/// The outcome of a call made on a BlockingSession, the reply read strictly
/// by the catalogue but not decoded: what a typed call decodes into its
/// record. Any failure carries the reply's bytes.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Reply> CallChecked(
    BlockingSession& session, const NamedRequest& request,
    CallOptions options = {});

/// Makes a prepared named call on a BlockingSession and reads its reply;
/// every failure is an Error whose bytes are the reply's, when one came.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<NamedReply> CallNamed(
    BlockingSession& session, const NamedRequest& request,
    CallOptions options = {});
/// Prepares and makes a named call on a BlockingSession.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<NamedReply> CallNamed(
    BlockingSession& session, std::string_view procedure,
    const Fields& arguments, CallOptions options = {});

/// Starts a named call on an asynchronous session; token receives
/// (error_code, NamedReply). Bad arguments complete with kInvalidArgument
/// before anything is sent, a reply that does not read strictly with
/// kInvalidReply; the reply's diagnostics say which. The handler's executor
/// and cancellation slot are honoured as by Session::AsyncCall.
template <typename CompletionToken>
auto AsyncCallNamed(Session& session, std::string_view procedure,
                    Fields arguments, CompletionToken&& token,
                    CallOptions options = {}) {
  using Signature = void(boost::system::error_code, NamedReply);
  return boost::asio::async_initiate<CompletionToken, Signature>(
      [&session](auto handler, std::string name, Fields given,
                 CallOptions with) {
        auto slot = boost::asio::get_associated_cancellation_slot(handler);
        auto executor = boost::asio::get_associated_executor(
            handler, session.get_executor());
        Result<NamedRequest> request = PrepareNamedCall(name, given);
        if (!request) {
          NamedReply failed;
          failed.reply.diagnostics = request.error().message;
          boost::asio::post(executor, [handler = std::move(handler),
                                       failed = std::move(failed)]() mutable {
            std::move(handler)(ErrorKind::kInvalidArgument, std::move(failed));
          });
          return;
        }
        const Procedure& named = *request->procedure;
        session.AsyncCall(
            named.id, request->parameters,
            boost::asio::bind_cancellation_slot(
                slot,
                boost::asio::bind_executor(
                    executor,
                    [handler = std::move(handler), &named](
                        boost::system::error_code error, Reply reply) mutable {
                      if (error) {
                        std::move(handler)(error,
                                           NamedReply{std::move(reply), {}});
                        return;
                      }
                      Result<Fields> values = ReadNamedReply(named, reply);
                      if (!values) {
                        reply.diagnostics = values.error().message;
                        std::move(handler)(ErrorKind::kInvalidReply,
                                           NamedReply{std::move(reply), {}});
                        return;
                      }
                      std::move(handler)(error, NamedReply{std::move(reply),
                                                           std::move(*values)});
                    })),
            with);
      },
      token, std::string(procedure), std::move(arguments), options);
}

}  // namespace Core::GEOCOM::host

#endif
