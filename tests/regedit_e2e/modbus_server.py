"""A small Modbus TCP slave that logs every request, for tests that must see
how many requests a client sent (holding registers only: functions 3, 6, 16)."""
import socket
import struct
import threading


class LoggingServer:
    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.memory = [0] * 70000
        self.log = []  # (function, start register 1-based, count)
        self.lock = threading.Lock()
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def writes(self):
        with self.lock:
            return [entry for entry in self.log if entry[0] in (6, 16)]

    def serve(self):
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            conn.settimeout(0.2)
            buf = b""
            while not self.stopping:
                try:
                    chunk = conn.recv(4096)
                except socket.timeout:
                    continue
                except OSError:
                    break
                if not chunk:
                    break
                buf += chunk
                while len(buf) >= 7:
                    tid, _, length, unit = struct.unpack(">HHHB", buf[:7])
                    if len(buf) < 6 + length:
                        break
                    pdu, buf = buf[7:6 + length], buf[6 + length:]
                    reply = self.answer(pdu)
                    conn.sendall(struct.pack(">HHHB", tid, 0, len(reply) + 1, unit) + reply)
            conn.close()

    def answer(self, pdu):
        fn = pdu[0]
        with self.lock:
            if fn == 3:
                start, count = struct.unpack(">HH", pdu[1:5])
                self.log.append((3, start + 1, count))
                words = self.memory[start:start + count]
                return bytes([3, 2 * count]) + struct.pack(">%dH" % count, *words)
            if fn == 6:
                start, value = struct.unpack(">HH", pdu[1:5])
                self.log.append((6, start + 1, 1))
                self.memory[start] = value
                return pdu[:5]
            if fn == 16:
                start, count = struct.unpack(">HH", pdu[1:5])
                self.log.append((16, start + 1, count))
                for i in range(count):
                    self.memory[start + i] = struct.unpack(">H", pdu[6 + 2 * i:8 + 2 * i])[0]
                return pdu[:5]
            self.log.append((fn, 0, 0))
            return bytes([fn | 0x80, 1])

    def stop(self):
        self.stopping = True
        self.thread.join(timeout=5)
        self.sock.close()
