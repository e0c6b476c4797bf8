"""A second RFC 2217 server for the tests, beside ser2net: pyserial's documented server side
(serial.rfc2217.PortManager) relaying one connection at a time between a loopback TCP port
and a serial device (a virtual bus's pseudo-terminal). It offers the COM port option and
agrees to the client's only after the client's WILL, as pyserial's server does.

    rfc2217_server.py DEVICE PORT
"""
import socket
import sys
import threading

import serial
import serial.rfc2217


class PtySerial(serial.Serial):
    """A pseudo-terminal has no modem lines: they read off, and setting them does nothing."""
    cts = dsr = ri = cd = property(lambda self: False)

    def _update_dtr_state(self):
        pass

    def _update_rts_state(self):
        pass


def relay(device, client):
    """Serves one connection until the client goes."""
    lock = threading.Lock()

    class Connection:
        @staticmethod
        def write(data):
            with lock:
                client.sendall(data)

    manager = serial.rfc2217.PortManager(device, Connection())
    alive = [True]

    def device_to_client():
        while alive[0]:
            try:
                data = device.read(device.in_waiting or 1)
                if data:
                    Connection.write(b"".join(manager.escape(data)))
            except (OSError, serial.SerialException):
                break

    reader = threading.Thread(target=device_to_client, daemon=True)
    reader.start()
    try:
        while True:
            data = client.recv(1024)
            if not data:
                break
            device.write(b"".join(manager.filter(data)))
    except OSError:
        pass
    alive[0] = False
    reader.join()


def main():
    device = PtySerial(sys.argv[1], timeout=0.05)  # the reader sees the client go this soon
    settings = device.get_settings()
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(sys.argv[2])))
    listener.listen(1)
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            relay(device, client)
        finally:
            client.close()
            device.apply_settings(settings)  # the next client finds the device as it was


if __name__ == "__main__":
    main()
