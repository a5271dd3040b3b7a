#pragma once

#include "net/HttpRequest.h"
#include "net/HttpResponse.h"
#include "net/HttpStream.h"

#include <QCoroTask>
#include <QtGlobal>
#include <memory>
#include <stop_token>

class QNetworkAccessManager;

// The one way the services talk HTTP. All requests go through one shared QNetworkAccessManager
// (connection reuse, one place for proxies), and must be started and awaited on the main thread.
//
// Both operations throw TransportError when no complete answer arrives; a stop requested through
// the token aborts the transfer and fails it as cancelled.
namespace HttpClient {

// A whole body larger than this fails the transfer: a service that never stops sending must not
// exhaust memory. Streamed bodies are not limited as a whole, only line by line.
inline constexpr qsizetype maximumBodySize = 64 * 1024 * 1024;

// The manager the application's owner made.
QNetworkAccessManager &sharedManager();

// Sends the request and waits for the complete body.
QCoro::Task<HttpResponse> data(HttpRequest request, std::stop_token stop = {});

// Sends the request and waits for the response head only; the body is read from the stream.
QCoro::Task<std::unique_ptr<HttpStream>> bytes(HttpRequest request, std::stop_token stop = {});

} // namespace HttpClient
