// A configuration server that changes its certificate halfway: TLS 1.2 on 127.0.0.1 with
// the first certificate, and after the request head it asks the client to renegotiate
// and offers the second one; then it answers 200 if the connection still stands.
// Python's ssl module cannot renegotiate, hence this one.
//
// Usage: renegotiating_server CERT1 KEY1 CERT2 KEY2 PORT_FILE
// Serves connections one after another until it is killed. Writes to standard output one
// line per connection: "renegotiated" when the client took the second certificate,
// "refused" otherwise.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void Serve(SSL_CTX* context, int client, const char* cert2, const char* key2) {
    // The client never sends after its request: a read that times out ends the wait.
    const timeval timeout{3, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, client);
    std::string head;
    char buffer[4096];
    if (SSL_accept(ssl) == 1) {
        while (head.find("\r\n\r\n") == std::string::npos) {
            const int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got <= 0) break;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        const int handshakes = SSL_get_state(ssl) == TLS_ST_OK ? 1 : 0;
        SSL_use_certificate_chain_file(ssl, cert2);
        SSL_use_PrivateKey_file(ssl, key2, SSL_FILETYPE_PEM);
        SSL_renegotiate(ssl);
        SSL_do_handshake(ssl);                 // sends the request to renegotiate
        SSL_read(ssl, buffer, sizeof buffer);  // runs the new handshake, then times out
        const bool renegotiated = handshakes == 1 && SSL_renegotiate_pending(ssl) == 0;
        std::printf("%s\n", renegotiated ? "renegotiated" : "refused");
        std::fflush(stdout);
        static const char kAnswer[] =
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nok\n";
        SSL_write(ssl, kAnswer, sizeof kAnswer - 1);
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
    close(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s CERT1 KEY1 CERT2 KEY2 PORT_FILE\n", argv[0]);
        return 2;
    }
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context, argv[1]) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, argv[2], SSL_FILETYPE_PEM) != 1) {
        std::fprintf(stderr, "cannot load %s and %s\n", argv[1], argv[2]);
        return 1;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("listen");
        return 1;
    }
    std::ofstream(argv[5]) << ntohs(address.sin_port);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client >= 0) Serve(context, client, argv[3], argv[4]);
    }
}
