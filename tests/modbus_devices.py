#!/usr/bin/python3
"""Modbus RTU devices played by pymodbus on a pseudo-terminal pair.

An implementation nobody here wrote: pymodbus frames, checks and decodes the
requests, keeps the registers, encodes every type and word order and builds
each reply with its CRC, as its own serial server does. Prints the terminal
the logger is to open, then answers on it until its standard input closes.

argv[1], JSON: {"devices": {ADDRESS: [[TABLE, REGISTER, TYPE, ORDER, VALUE], ...]},
                "off": [ADDRESS...], "bad_crc": [ADDRESS...], "refuse": [ADDRESS...]}
TABLE "holding" or "input"; TYPE int16 ... float32; ORDER "high first" or "low first".
A device "off" never answers; "bad_crc" answers with its CRC's last bit flipped;
"refuse" holds none of its registers, so pymodbus refuses them (illegal data address).
"""
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


def device(entries, refused):
    blocks = {"holding": {}, "input": {}}
    for table, register, kind, order, value in [] if refused else entries:
        words = BinaryPayloadBuilder(byteorder=Endian.Big,
                                     wordorder=Endian.Big if order == "high first" else Endian.Little)
        getattr(words, ADD[kind])(value)
        for i, word in enumerate(words.to_registers()):
            blocks[table][register + i] = word
    # Without any register a sparse block refuses them all; 65536 is never asked for.
    holding, inputs = (ModbusSparseDataBlock(blocks[t] or {65536: 0}) for t in ("holding", "input"))
    return ModbusSlaveContext(hr=holding, ir=inputs, zero_mode=True)


def main():
    spec = json.loads(sys.argv[1])
    refused = spec.get("refuse", [])
    context = ModbusServerContext(
        slaves={int(a): device(e, int(a) in refused) for a, e in spec["devices"].items()}, single=False)
    answering = [int(a) for a in spec["devices"] if int(a) not in spec.get("off", [])]
    master, slave = os.openpty()
    tty.setraw(slave)  # kept open: the line stays up while the logger closes and reopens it
    print(os.ttyname(slave), flush=True)
    framer = ModbusRtuFramer(ServerDecoder())

    def answer(request):
        response = request.execute(context[request.unit_id])
        response.unit_id = request.unit_id
        packet = framer.buildPacket(response)
        if request.unit_id in spec.get("bad_crc", []):
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
