#include <DazoZazIdoRezeraro/host/NamedCall.h>

namespace Core::GEOCOM::host {

Result<NamedRequest> PrepareNamedCall(const Procedure& procedure,
                                      const Fields& arguments) {
  Result<std::string> parameters = PackArguments(procedure, arguments);
  if (!parameters) return parameters.error();
  return NamedRequest{&procedure, std::move(*parameters)};
}

Result<NamedRequest> PrepareNamedCall(std::string_view procedure,
                                      const Fields& arguments) {
  const Procedure* named = FindProcedure(procedure);
  if (named == nullptr) {
    return Error{ErrorKind::kInvalidArgument,
                 "no procedure is named '" + std::string(procedure) + "'"};
  }
  return PrepareNamedCall(*named, arguments);
}

Result<Fields> ReadNamedReply(const Procedure& procedure, const Reply& reply) {
  Result<Fields> values = DecodeReply(procedure, reply.sentence);
  if (values) return values;
  Error failure = values.error();
  failure.bytes = reply.bytes;
  return failure;
}

Result<Reply> CallChecked(BlockingSession& session, const NamedRequest& request,
                          CallOptions options) {
  Result<Reply> reply =
      session.TryCall(request.procedure->id, request.parameters, options);
  if (!reply) return reply;
  Result<Done> strict = CheckReply(*request.procedure, reply->sentence);
  if (strict) return reply;
  Error failure = strict.error();
  failure.bytes = std::move(reply->bytes);
  return failure;
}

Result<NamedReply> CallNamed(BlockingSession& session,
                             const NamedRequest& request, CallOptions options) {
  Result<Reply> reply =
      session.TryCall(request.procedure->id, request.parameters, options);
  if (!reply) return reply.error();
  Result<Fields> values = ReadNamedReply(*request.procedure, *reply);
  if (!values) return values.error();
  return NamedReply{std::move(*reply), std::move(*values)};
}

Result<NamedReply> CallNamed(BlockingSession& session,
                             std::string_view procedure,
                             const Fields& arguments, CallOptions options) {
  Result<NamedRequest> request = PrepareNamedCall(procedure, arguments);
  if (!request) return request.error();
  return CallNamed(session, *request, options);
}

}  // namespace Core::GEOCOM::host
