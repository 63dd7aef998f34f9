#!/usr/bin/python3
"""Modbus RTU devices played by pymodbus (framing, CRC, requests, registers, replies, as its own serial
server does) on a pseudo-terminal pair; prints the terminal, then answers on it until standard input closes.

argv[1], JSON: {"values": [["ADDRESS", "FUNCTION", "REGISTER", "TYPE", "ORDER", VALUE], ...], "off": [...],
"bad_crc": [...], "refuse": [...]}: FUNCTION "03" (holding) or "04" (input), ORDER "high first" / "low first";
a device "off" never answers, "bad_crc" flips its CRC's last bit, "refuse" holds none of its registers."""
import json
import os
import select
import sys
import tty

from pymodbus.constants import Endian
from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext, ModbusSparseDataBlock
from pymodbus.factory import ServerDecoder
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.payload import BinaryPayloadBuilder

ADD = {"int16": "add_16bit_int", "uint16": "add_16bit_uint", "int32": "add_32bit_int",
       "uint32": "add_32bit_uint", "float32": "add_32bit_float"}


def devices(given):
    blocks = {}
    for address, function, register, kind, order, value in given["values"]:
        address, register = int(address), int(register)
        words = BinaryPayloadBuilder(byteorder=Endian.Big,
                                     wordorder=Endian.Big if order == "high first" else Endian.Little)
        getattr(words, ADD[kind])(value)
        table = blocks.setdefault(address, {"03": {}, "04": {}})[function]
        if address not in given.get("refuse", []):
            table.update({register + i: word for i, word in enumerate(words.to_registers())})
    # A sparse block refuses what it does not hold; 65536 is never asked for.
    return {a: ModbusSlaveContext(hr=ModbusSparseDataBlock(t["03"] or {65536: 0}),
                                  ir=ModbusSparseDataBlock(t["04"] or {65536: 0}), zero_mode=True)
            for a, t in blocks.items()}


def main():
    given = json.loads(sys.argv[1])
    slaves = devices(given)
    context = ModbusServerContext(slaves=slaves, single=False)
    answering = [a for a in slaves if a not in given.get("off", [])]
    master, slave = os.openpty()
    tty.setraw(slave)  # kept open: the line stays up while the logger closes and reopens it
    print(os.ttyname(slave), flush=True)
    framer = ModbusRtuFramer(ServerDecoder())

    def answer(request):
        response = request.execute(context[request.unit_id])
        response.unit_id = request.unit_id
        packet = framer.buildPacket(response)
        if request.unit_id in given.get("bad_crc", []):
            packet = packet[:-1] + bytes([packet[-1] ^ 1])
        os.write(master, packet)

    while True:
        ready, _, _ = select.select([master, sys.stdin], [], [])
        if sys.stdin in ready and not sys.stdin.buffer.read1(64):
            return
        if master in ready:
            framer.processIncomingPacket(os.read(master, 256), answer, unit=answering, single=False)


if __name__ == "__main__":
    main()
