// A request object for tests: it records every operation web_request calls
// on it, in order, and answers with a scripted response. The script lives in
// a shared Recording, since web_request owns and releases the object itself.
#pragma once

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/request_object.h"

namespace miyi::testing {

struct Recording {
  // What the object answers.
  Bytes body;
  Text response_headers;
  // Operations (by their recorded name, such as "Open") that fail by
  // throwing, and ones that fail by reporting false / an empty result.
  std::set<std::string> throwing;
  std::set<std::string> refusing;

  // One entry per call, such as "SetRequestHeader(Referer| http://h/)".
  std::vector<std::string> calls;
  int objects_made = 0;

  // The calls of one operation only, in order.
  std::vector<std::string> calls_of(const std::string& operation) const {
    std::vector<std::string> matching;
    for (const std::string& call : calls) {
      if (call.compare(0, operation.size() + 1, operation + "(") == 0) matching.push_back(call);
    }
    return matching;
  }
};

class RecordingRequestObject final : public RequestObject {
 public:
  explicit RecordingRequestObject(std::shared_ptr<Recording> recording)
      : recording_(std::move(recording)) {
    ++recording_->objects_made;
  }

  // A factory for ScopedRequestObjectFactory.
  static RequestObjectFactory factory(std::shared_ptr<Recording> recording) {
    return [recording] { return std::make_unique<RecordingRequestObject>(recording); };
  }

  bool set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override {
    return record("SetTimeouts", {std::to_string(resolve_ms), std::to_string(connect_ms),
                                  std::to_string(send_ms), std::to_string(receive_ms)});
  }
  bool set_proxy(int setting, const Text& server) override {
    return record("SetProxy", {std::to_string(setting), server});
  }
  bool set_proxy_credentials(const Text& user, const Text& password) override {
    return record("SetProxyCredentials", {user, password});
  }
  bool open(const Text& method, const Text& url, bool asynchronous) override {
    return record("Open", {method, url, asynchronous ? "true" : "false"});
  }
  bool set_option(int index, int value) override {
    return record("Option", {std::to_string(index), std::to_string(value)});
  }
  bool set_request_header(const Text& name, const Text& value) override {
    return record("SetRequestHeader", {name, value});
  }
  bool send(const Text& body) override { return record("Send", {"text", body}); }
  bool send(const Bytes& body) override {
    return record("Send", {"bytes", std::string(body.begin(), body.end())});
  }
  Bytes response_body() override {
    return record("ResponseBody", {}) ? recording_->body : Bytes();
  }
  Text all_response_headers() override {
    return record("GetAllResponseHeaders", {}) ? recording_->response_headers : Text();
  }

 private:
  // Records the call; throws or gives false as the script says.
  bool record(const std::string& operation, const std::vector<std::string>& arguments) {
    std::string call = operation + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) call += (i ? "|" : "") + arguments[i];
    recording_->calls.push_back(call + ")");
    if (recording_->throwing.count(operation)) throw std::runtime_error(operation + " failed");
    return recording_->refusing.count(operation) == 0;
  }

  std::shared_ptr<Recording> recording_;
};

}  // namespace miyi::testing
