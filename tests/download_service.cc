#include "download_service.h"

namespace test {

Reply Fetch(const https::Service& service, https::ReplyRequest request,
            https::FetchSession* session) {
  Reply reply;
  if (!request.take_body) {
    request.take_body = [&reply](std::string_view piece) {
      reply.body.append(piece);
      return std::string();
    };
  }
  https::FetchSession own;
  reply.result = https::FetchReply(session != nullptr ? *session : own, service, request);
  return reply;
}

}  // namespace test
