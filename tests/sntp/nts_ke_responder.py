"""A scripted NTS key-exchange server for tests: TLS 1.3 on 127.0.0.1, one fixed answer.

    nts_ke_responder.py CERT KEY ANSWER_HEX [ALPN [TLS_VERSION]]

Prints its port and its process id on the first line of standard output, then answers every
connection with the bytes of ANSWER_HEX once the client's request has arrived, and closes it.
ALPN none offers no protocol at all. TLS_VERSION 1.2 speaks TLS 1.2 only (1.3 by default). An empty ANSWER_HEX answers nothing and holds the connection open. Runs until it is killed or,
when standard input is a pipe, until that pipe closes.
"""
import os
import socket
import ssl
import stat
import sys
import threading


def serve(connection, answer):
    with connection:
        try:
            request = connection.recv(4096)
            if not request:
                return
            if not answer:
                connection.recv(4096)  # until the client gives up
                return
            connection.sendall(answer)
        except (OSError, ssl.SSLError):
            pass


def main():
    cert, key, answer = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])
    alpn = sys.argv[4] if len(sys.argv) > 4 else "ntske/1"
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if len(sys.argv) > 5 and sys.argv[5] == "1.2":
        context.minimum_version = context.maximum_version = ssl.TLSVersion.TLSv1_2
    else:
        context.minimum_version = ssl.TLSVersion.TLSv1_3
    context.load_cert_chain(cert, key)
    if alpn != "none":
        context.set_alpn_protocols([alpn])
    listener = socket.create_server(("127.0.0.1", 0))
    sys.stdout.write(f"{listener.getsockname()[1]} {os.getpid()}\n")
    sys.stdout.close()  # the test stops reading after the line
    if stat.S_ISFIFO(os.fstat(0).st_mode):
        threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()

    while True:
        raw, _ = listener.accept()
        try:
            connection = context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            continue
        threading.Thread(target=serve, args=(connection, answer), daemon=True).start()


main()
