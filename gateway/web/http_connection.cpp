#include "gateway/web/http_connection.h"

#include "gateway/web/api_text.h"

namespace brivane::gateway {
namespace {

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 414:
      return "URI Too Long";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Error";
  }
}

std::string Head(const HttpResponse& response) {
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
                     "\r\nContent-Type: " + response.contentType +
                     "\r\nX-Content-Type-Options: nosniff\r\n";
  if (response.eventStream) {
    head += "Cache-Control: no-store\r\nConnection: keep-alive\r\n\r\n";
    return head;
  }
  head += response.cache ? "Cache-Control: max-age=60\r\n" : "Cache-Control: no-store\r\n";
  if (response.status == 405) {
    head += "Allow: GET, HEAD\r\n";
  }
  head +=
      "Content-Length: " + std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
  return head;
}

HttpResponse Error(int status, std::string_view text) {
  return HttpResponse{status, "application/json", ErrorJson(text)};
}

}  // namespace

HttpConnection::HttpConnection(asio::ip::tcp::socket socket, WebServer& server)
    : socket_(std::move(socket)), server_(server), timer_(socket_.get_executor()) {
  asio::error_code error;
  const auto remote = socket_.remote_endpoint(error);
  peer_ = error ? "?" : remote.address().to_string() + ":" + std::to_string(remote.port());
}

void HttpConnection::Start() {
  timer_.expires_after(server_.limits_.headTimeout);
  timer_.async_wait([self = shared_from_this()](const asio::error_code& error) {
    if (!error && !self->closed_ && !self->stream_ && !self->writing_) {
      self->Answer(Error(408, "request not sent in time"), true);
    }
  });
  Read();
}

void HttpConnection::Read() {
  socket_.async_read_some(
      asio::buffer(chunk_),
      [self = shared_from_this()](const asio::error_code& error, std::size_t size) {
        if (self->closed_) {
          return;
        }
        if (error) {
          self->Close();
          return;
        }
        self->head_.append(self->chunk_.data(), size);
        const RequestParse parse = ParseRequest(self->head_, self->server_.limits_.request);
        if (parse.outcome == RequestParse::Outcome::kIncomplete) {
          self->Read();
          return;
        }
        self->OnHead(parse);
      });
}

void HttpConnection::OnHead(const RequestParse& parse) {
  head_.clear();
  if (parse.outcome == RequestParse::Outcome::kRefused) {
    Answer(Error(parse.status, parse.error), true);
    return;
  }
  const HttpRequest& request = parse.request;
  const bool head = request.method == "HEAD";
  if (request.method != "GET" && !head) {
    Answer(Error(405, "only GET is served"), !head);
    return;
  }
  const auto target = ParseTarget(request.target);
  if (!target) {
    Answer(Error(400, "malformed request target"), !head);
    return;
  }
  HttpResponse response = server_.handler_(request, *target);
  if (response.eventStream && !head) {
    if (!server_.AdmitStream(shared_from_this())) {
      Answer(Error(503, "too many event streams"), true);
      return;
    }
    stream_ = true;
    timer_.cancel();
    asio::error_code ignored;
    socket_.set_option(asio::socket_base::send_buffer_size(server_.limits_.streamSendBuffer),
                       ignored);
    Queue(Head(response) + response.body);
    WatchStream();
    return;
  }
  Answer(response, !head);
}

void HttpConnection::Answer(const HttpResponse& response, bool withBody) {
  timer_.expires_after(server_.limits_.writeTimeout);
  timer_.async_wait([self = shared_from_this()](const asio::error_code& error) {
    if (!error) {
      self->Close();
    }
  });
  HttpResponse plain = response;
  plain.eventStream = false;
  Queue(withBody ? Head(plain) + plain.body : Head(plain));
}

void HttpConnection::Send(const std::string& text) {
  if (closed_ || !stream_) {
    return;
  }
  if (queued_ + text.size() > server_.limits_.pending) {
    server_.log_(LogLevel::kWarning,
                 "event stream to " + peer_ + " closed: it does not read (more than " +
                     std::to_string(server_.limits_.pending / 1024) + " KiB waiting)");
    Close();
    return;
  }
  Queue(text);
}

void HttpConnection::Queue(std::string text) {
  queued_ += text.size();
  queue_.push_back(std::move(text));
  if (!writing_) {
    WriteNext();
  }
}

void HttpConnection::WriteNext() {
  if (closed_) {
    return;
  }
  if (queue_.empty()) {
    writing_ = false;
    if (!stream_) {
      Close();  // the answer is out
    }
    return;
  }
  writing_ = true;
  asio::async_write(socket_, asio::buffer(queue_.front()),
                    [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                      if (self->closed_) {
                        return;
                      }
                      if (error) {
                        self->Close();
                        return;
                      }
                      self->queued_ -= self->queue_.front().size();
                      self->queue_.pop_front();
                      self->WriteNext();
                    });
}

// A stream's client sends nothing more; a read that ends means it has gone.
void HttpConnection::WatchStream() {
  socket_.async_read_some(asio::buffer(chunk_),
                          [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                            if (self->closed_) {
                              return;
                            }
                            if (error) {
                              self->Close();
                              return;
                            }
                            self->WatchStream();
                          });
}

void HttpConnection::Close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  timer_.cancel();
  asio::error_code ignored;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  queue_.clear();
  queued_ = 0;
  server_.Forget(this);
}

}  // namespace brivane::gateway
