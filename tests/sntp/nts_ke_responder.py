"""A scripted NTS key-exchange server for tests: TLS 1.3 on 127.0.0.1, one fixed answer.

    nts_ke_responder.py CERT KEY ANSWER_HEX [ALPN [TLS_VERSION [COOKIES]]]

Prints its port and its process id on the first line of standard output, then answers every
connection with the bytes of ANSWER_HEX once the client's request has arrived, and closes it
(with TLS's close_notify first when NTS_KE_GOODBYE is set). With NTS_KE_NO_TLS set it takes
each connection and never speaks, not even TLS. A server name indication that is an address
fails the handshake; with NTS_KE_SNI set, a connection that did not indicate that name is
closed unanswered.
ALPN none offers no protocol at all. TLS_VERSION 1.2 speaks TLS 1.2 only (1.3 by default). An
empty ANSWER_HEX answers nothing and holds the connection open. Runs until it is killed or,
when standard input is a pipe, until that pipe closes.

With COOKIES (numbers joined by commas) it is also the NTS time server, on the UDP port of the
same number (which a port record of 0 in ANSWER_HEX becomes), with the keys of the last key exchange (read from OpenSSL's key log, exported as
RFC 8446 and RFC 8915 say) and an AES-SIV of its own (Python's cryptography): its n-th answer
carries the n-th number of new cookies (the last number once the list is used up), each of
64 bytes, or of S bytes where the number is written NxS.
"""
import ctypes
import hashlib
import hmac
import os
import socket
import ssl
import stat
import sys
import threading
import time


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
            if os.environ.get("NTS_KE_GOODBYE"):
                connection.unwrap()  # TLS close_notify before the TCP close
        except (OSError, ssl.SSLError):
            pass


KEYS = {}


def note_name(connection, name, context):
    connection.server_name = name
    for family in (socket.AF_INET, socket.AF_INET6) if name else ():
        try:
            socket.inet_pton(family, name)
            return ssl.ALERT_DESCRIPTION_ILLEGAL_PARAMETER  # names only (RFC 6066, section 3)
        except OSError:
            pass
    return None


def cookie_spec(text):
    """N or NxS: N cookies of S bytes (64 when S is not given)."""
    count, _, size = text.partition("x")
    return int(count), int(size or 64)


def expand_label(secret, label, context, length, digest):
    info = (length.to_bytes(2, "big") + bytes([6 + len(label)]) + b"tls13 " + label +
            bytes([len(context)]) + context)
    out, block, counter = b"", b"", 1
    while len(out) < length:
        block = hmac.new(secret, block + info + bytes([counter]), digest).digest()
        out, counter = out + block, counter + 1
    return out[:length]


def export_keys(keylog, cipher):
    """The client-to-server and server-to-client keys of the last connection in the key log."""
    digest = hashlib.sha384 if cipher.endswith("SHA384") else hashlib.sha256
    with open(keylog) as log:
        secret = bytes.fromhex([l.split()[2] for l in log if l.startswith("EXPORTER_SECRET")][-1])
    derived = expand_label(secret, b"EXPORTER-network-time-security", digest(b"").digest(),
                           digest().digest_size, digest)
    for direction, name in ((0, "c2s"), (1, "s2c")):
        context = bytes([0, 0, 0, 15, direction])  # NTPv4, AES-SIV-CMAC-256
        KEYS[name] = expand_label(derived, b"exporter", digest(context).digest(), 32, digest)


def field(kind, value):
    value += bytes(-len(value) % 4)
    value += bytes(max(0, 12 - len(value)))
    return kind.to_bytes(2, "big") + (4 + len(value)).to_bytes(2, "big") + value


def serve_time(udp, cookies):
    from cryptography.hazmat.primitives.ciphers.aead import AESSIV
    for answered in range(1 << 30):
        request, peer = udp.recvfrom(4096)
        now = int((time.time() + 2208988800) * (1 << 32)).to_bytes(8, "big")
        packet = (bytes([0x24, 1, 0, 0]) + bytes(8) + b"TEST" + now + request[40:48] + now + now +
                  field(0x0104, request[52:84]))
        count, size = cookies[min(answered, len(cookies) - 1)]
        nonce = os.urandom(16)
        # A field of no meaning after the cookies: this AES-SIV seals no empty plaintext.
        plaintext = b"".join(field(0x0204, os.urandom(size)) for _ in range(count))
        sealed = AESSIV(KEYS["s2c"]).encrypt(plaintext + field(0x7F00, b""), [packet, nonce])
        udp.sendto(packet + field(0x0404, (16).to_bytes(2, "big") +
                                  len(sealed).to_bytes(2, "big") + nonce + sealed), peer)


def main():
    ctypes.CDLL(None).prctl(1, 15)  # PR_SET_PDEATHSIG, SIGTERM: ends with the test, crashed or not
    cert, key, answer = sys.argv[1], sys.argv[2], bytes.fromhex(sys.argv[3])
    alpn = sys.argv[4] if len(sys.argv) > 4 else "ntske/1"
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if len(sys.argv) > 5 and sys.argv[5] == "1.2":
        context.minimum_version = context.maximum_version = ssl.TLSVersion.TLSv1_2
    else:
        context.minimum_version = ssl.TLSVersion.TLSv1_3
    cookies = [cookie_spec(c) for c in sys.argv[6].split(",")] if len(sys.argv) > 6 else None
    if cookies:
        keylog = cert + ".keylog"
        context.keylog_filename = keylog
    context.set_ciphers("DEFAULT:@SECLEVEL=0")  # presents what its test asks for, SHA-1 too
    context.load_cert_chain(cert, key)
    if alpn != "none":
        context.set_alpn_protocols([alpn])
    context.sni_callback = note_name
    listener = socket.create_server(("127.0.0.1", 0))
    if cookies:
        # A port record of 0 names the time server's port.
        answer = answer.replace(bytes.fromhex("000700020000"),
                                bytes.fromhex("00070002") + listener.getsockname()[1].to_bytes(2, "big"))
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        udp.bind(("127.0.0.1", listener.getsockname()[1]))
        threading.Thread(target=serve_time, args=(udp, cookies), daemon=True).start()
    sys.stdout.write(f"{listener.getsockname()[1]} {os.getpid()}\n")
    sys.stdout.close()  # the test stops reading after the line
    if stat.S_ISFIFO(os.fstat(0).st_mode):
        threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()

    silent = []
    while True:
        raw, _ = listener.accept()
        if os.environ.get("NTS_KE_NO_TLS"):
            silent.append(raw)  # takes the connection and never says a word
            continue
        try:
            connection = context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            continue
        wanted = os.environ.get("NTS_KE_SNI")
        if wanted and getattr(connection, "server_name", None) != wanted:
            connection.close()
            continue
        if cookies:
            export_keys(keylog, connection.cipher()[0])
        threading.Thread(target=serve, args=(connection, answer), daemon=True).start()


main()
