#!/usr/bin/env python3
"""Rewrites an MPEG-4 Visual elementary stream into the narrow layout our decoder reads.

The encoder used for the fixtures writes a video object layer header with an object layer
identifier and control parameters, repeats the configuration headers before every I-VOP and
puts a group-of-VOP header in front of each of them. Our camera streams carry the
configuration headers once, a version-1 VOL without optional parts, and nothing but VOPs
after that. This tool:

  * re-serialises the VOL in version-1 syntax with is_object_layer_identifier = 0 and
    vol_control_parameters = 0, checking field by field that nothing else changes and
    that the result is the 80-bit layout (plus start code) our decoder expects;
  * drops repeated configuration headers (after checking they equal the first ones);
  * drops the GOV headers and recomputes each following VOP's modulo_time_base so every
    VOP keeps its absolute time.

Usage:
  m4v_rewrite.py rewrite IN OUT      rewrite and verify (exit status 1 on any check failure)
  m4v_rewrite.py info FILE           print the VOL fields and one line per VOP
"""

import sys


class BitReader:
    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos * 8  # bit position

    def read(self, n):
        v = 0
        for _ in range(n):
            byte = self.pos >> 3
            if byte >= len(self.data):
                raise ValueError("read past the end of the unit")
            v = (v << 1) | ((self.data[byte] >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return v

    def bits_left(self):
        return len(self.data) * 8 - self.pos


class BitWriter:
    def __init__(self):
        self.bits = []

    def put(self, n, v):
        for i in range(n - 1, -1, -1):
            self.bits.append((v >> i) & 1)

    def put_bits(self, bits):
        self.bits.extend(bits)

    def stuffing(self):
        # next_start_code(): one zero bit, then ones up to the byte boundary (1 to 8 bits)
        self.bits.append(0)
        while len(self.bits) % 8:
            self.bits.append(1)

    def tobytes(self):
        assert len(self.bits) % 8 == 0
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            v = 0
            for b in self.bits[i:i + 8]:
                v = (v << 1) | b
            out.append(v)
        return bytes(out)


def fail(msg):
    raise SystemExit("m4v_rewrite: " + msg)


def split_units(data):
    """[(code, start_offset, bytes including the start code)] for every start code."""
    starts = []
    i = 0
    while True:
        i = data.find(b"\x00\x00\x01", i)
        if i < 0 or i + 3 >= len(data):
            break
        starts.append(i)
        i += 3
    if not starts or starts[0] != 0:
        fail("stream does not begin with a start code")
    units = []
    for k, s in enumerate(starts):
        e = starts[k + 1] if k + 1 < len(starts) else len(data)
        units.append((data[s + 3], s, data[s:e]))
    return units


def check_stuffing(br, unit_len, what):
    """The bits from br's position to the end must be exactly the next_start_code stuffing."""
    left = br.bits_left()
    if not 1 <= left <= 8:
        fail("%s: %d bits after the last field (want 1..8 bits of stuffing)" % (what, left))
    if br.read(1) != 0 or any(br.read(1) != 1 for _ in range(left - 1)):
        fail("%s: trailing bits are not stuffing" % what)


def time_bits(resolution):
    n = 1
    while (1 << n) < resolution:
        n += 1
    return n


def parse_vol(unit):
    """All fields of a VOL header (start code included in unit)."""
    br = BitReader(unit, 4)
    f = {}
    f["random_accessible_vol"] = br.read(1)
    f["video_object_type_indication"] = br.read(8)
    f["is_object_layer_identifier"] = br.read(1)
    f["verid"] = 1
    if f["is_object_layer_identifier"]:
        f["verid"] = br.read(4)
        f["priority"] = br.read(3)
    f["aspect_ratio_info"] = br.read(4)
    if f["aspect_ratio_info"] == 15:
        f["par_width"] = br.read(8)
        f["par_height"] = br.read(8)
    f["vol_control_parameters"] = br.read(1)
    if f["vol_control_parameters"]:
        f["chroma_format"] = br.read(2)
        f["low_delay"] = br.read(1)
        f["vbv_parameters"] = br.read(1)
        if f["vbv_parameters"]:
            f["vbv"] = [br.read(n) for n in (15, 1, 15, 1, 15, 1, 3, 11, 1, 15, 1)]
    f["video_object_layer_shape"] = br.read(2)
    if f["video_object_layer_shape"] != 0:
        fail("VOL: shape is not rectangular")
    f["marker1"] = br.read(1)
    f["vop_time_increment_resolution"] = br.read(16)
    f["marker2"] = br.read(1)
    f["fixed_vop_rate"] = br.read(1)
    if f["fixed_vop_rate"]:
        f["fixed_vop_time_increment"] = br.read(time_bits(f["vop_time_increment_resolution"]))
    f["marker3"] = br.read(1)
    f["video_object_layer_width"] = br.read(13)
    f["marker4"] = br.read(1)
    f["video_object_layer_height"] = br.read(13)
    f["marker5"] = br.read(1)
    f["interlaced"] = br.read(1)
    f["obmc_disable"] = br.read(1)
    f["sprite_enable"] = br.read(1 if f["verid"] == 1 else 2)
    f["not_8_bit"] = br.read(1)
    if f["not_8_bit"]:
        fail("VOL: not_8_bit is set")
    f["quant_type"] = br.read(1)
    if f["quant_type"]:
        f["load_intra_quant_mat"] = br.read(1)
        f["load_nonintra_quant_mat"] = br.read(1)
        if f["load_intra_quant_mat"] or f["load_nonintra_quant_mat"]:
            fail("VOL: loads quantisation matrices")
    if f["verid"] != 1:
        f["quarter_sample"] = br.read(1)
    f["complexity_estimation_disable"] = br.read(1)
    if not f["complexity_estimation_disable"]:
        fail("VOL: complexity estimation header present")
    f["resync_marker_disable"] = br.read(1)
    f["data_partitioned"] = br.read(1)
    if f["data_partitioned"]:
        f["reversible_vlc"] = br.read(1)
    if f["verid"] != 1:
        f["newpred_enable"] = br.read(1)
        if f["newpred_enable"]:
            fail("VOL: newpred")
        f["reduced_resolution_vop_enable"] = br.read(1)
    f["scalability"] = br.read(1)
    if f["scalability"]:
        fail("VOL: scalability")
    check_stuffing(br, len(unit), "VOL")
    return f


# What the decoder requires of a VOL besides the fixed positions: these fields must hold
# these values, or the stream is outside the subset.
SUBSET_VALUES = {
    "is_object_layer_identifier": 0,
    "vol_control_parameters": 0,
    "video_object_layer_shape": 0,
    "marker1": 1, "marker2": 1, "marker3": 1, "marker4": 1, "marker5": 1,
    "fixed_vop_rate": 0,
    "interlaced": 0,
    "obmc_disable": 1,
    "sprite_enable": 0,
    "not_8_bit": 0,
    "complexity_estimation_disable": 1,
    "resync_marker_disable": 1,
    "data_partitioned": 0,
    "scalability": 0,
    "verid": 1,
}


def write_vol_v1(f):
    w = BitWriter()
    w.put(32, 0x00000100 | 0x20)
    w.put(1, f["random_accessible_vol"])
    w.put(8, f["video_object_type_indication"])
    w.put(1, 0)  # is_object_layer_identifier
    w.put(4, f["aspect_ratio_info"])
    w.put(1, 0)  # vol_control_parameters
    w.put(2, 0)  # rectangular
    w.put(1, 1)
    w.put(16, f["vop_time_increment_resolution"])
    w.put(1, 1)
    w.put(1, 0)  # fixed_vop_rate
    w.put(1, 1)
    w.put(13, f["video_object_layer_width"])
    w.put(1, 1)
    w.put(13, f["video_object_layer_height"])
    w.put(1, 1)
    w.put(1, f["interlaced"])
    w.put(1, f["obmc_disable"])
    w.put(1, f["sprite_enable"])
    w.put(1, f["not_8_bit"])
    w.put(1, f["quant_type"])
    if f["quant_type"]:
        w.put(2, 0)  # no matrices loaded
    w.put(1, f["complexity_estimation_disable"])
    w.put(1, f["resync_marker_disable"])
    w.put(1, f["data_partitioned"])
    w.put(1, f["scalability"])
    w.stuffing()
    return w.tobytes()


def rewrite_vol(unit, original_start_code):
    f = parse_vol(unit)
    if f["aspect_ratio_info"] == 15:
        fail("VOL: extended aspect ratio cannot be kept in the fixed layout")
    if f["vol_control_parameters"]:
        # Dropping the control parameters is only neutral when they state the defaults.
        if f["chroma_format"] != 1:
            fail("VOL: chroma format is not 4:2:0")
        if f["low_delay"] != 1:
            fail("VOL: low_delay 0 (B-VOPs) cannot be dropped")
        if f["vbv_parameters"]:
            fail("VOL: VBV parameters present")
    if f["verid"] != 1 and f.get("quarter_sample", 0):
        fail("VOL: quarter-sample motion")
    if f.get("reduced_resolution_vop_enable", 0):
        fail("VOL: reduced-resolution VOPs")
    out = write_vol_v1(f)
    out = bytes([0, 0, 1, original_start_code]) + out[4:]
    g = parse_vol(out)
    # Field-by-field comparison: everything but the removed optional fields must be equal.
    removed = {"is_object_layer_identifier", "verid", "priority", "vol_control_parameters",
               "chroma_format", "low_delay", "vbv_parameters", "quarter_sample",
               "newpred_enable", "reduced_resolution_vop_enable"}
    for k in set(f) | set(g):
        if k in removed:
            continue
        if f.get(k) != g.get(k):
            fail("VOL field %s changed: %r -> %r" % (k, f.get(k), g.get(k)))
    for k, v in SUBSET_VALUES.items():
        if g.get(k) != v:
            fail("VOL field %s is %r, the decoder needs %r" % (k, g.get(k), v))
    if len(out) != 14:
        fail("rewritten VOL is %d bytes, not 14" % len(out))
    return out, f, g


def parse_vop(unit, nbits):
    """(header fields, bit position where the modulo_time_base ends, payload bit count)."""
    br = BitReader(unit, 4)
    h = {"coding_type": br.read(2)}
    m = 0
    while br.read(1):
        m += 1
    h["modulo_time_base"] = m
    after_modulo = br.pos
    if br.read(1) != 1:
        fail("VOP: marker before time increment missing")
    h["time_increment"] = br.read(nbits)
    if br.read(1) != 1:
        fail("VOP: marker after time increment missing")
    h["vop_coded"] = br.read(1)
    if h["vop_coded"] and h["coding_type"] in (0, 1):
        h["rounding_type"] = br.read(1) if h["coding_type"] == 1 else 0
        h["intra_dc_vlc_thr"] = br.read(3)
        h["vop_quant"] = br.read(5)
        if h["coding_type"] == 1:
            h["fcode"] = br.read(3)
    # The payload ends at the last zero bit (the stuffing is 0 followed by ones).
    last = unit[-1]
    if last == 0xFF:
        fail("VOP: last byte holds no stuffing")
    stuff = 1
    while (last >> (stuff - 1)) & 1:
        stuff += 1
    payload_bits = len(unit) * 8 - stuff
    return h, after_modulo, payload_bits


def rewrite_vop(unit, after_modulo, payload_bits, new_modulo):
    br = BitReader(unit, 4)
    w = BitWriter()
    w.put(32, 0x000001B6)
    w.put(2, br.read(2))
    w.put(new_modulo, (1 << new_modulo) - 1)
    w.put(1, 0)
    br.pos = after_modulo
    w.put_bits([br.read(1) for _ in range(payload_bits - after_modulo)])
    w.stuffing()
    return w.tobytes()


def scan(data):
    """VOL fields and per-VOP (header, absolute time base in seconds) of a stream, honouring GOVs."""
    vol = None
    vops = []
    last_base = 0
    for code, off, unit in split_units(data):
        if 0x20 <= code <= 0x2F:
            vol = parse_vol(unit)
        elif code == 0xB3:
            br = BitReader(unit, 4)
            hours, minutes = br.read(5), br.read(6)
            br.read(1)
            seconds = br.read(6)
            last_base = hours * 3600 + minutes * 60 + seconds
        elif code == 0xB6:
            if vol is None:
                fail("VOP before any VOL")
            nbits = time_bits(vol["vop_time_increment_resolution"])
            h, _, _ = parse_vop(unit, nbits)
            base = last_base + h["modulo_time_base"]
            if h["coding_type"] != 2:
                last_base = base
            h["offset"] = off
            h["size"] = len(unit)
            h["time"] = base + h["time_increment"] / vol["vop_time_increment_resolution"]
            vops.append(h)
    return vol, vops


CONFIG_CODES = set([0xB0, 0xB5, 0xB2]) | set(range(0x00, 0x30))


def rewrite(data):
    units = split_units(data)
    out = bytearray()
    first_config = []   # original configuration units, in order
    config_done = False
    repeated = []
    nbits = None
    res = None
    last_base = 0        # as the original stream counts it (GOVs reset it)
    new_last_base = 0    # as the rewritten stream counts it (no GOVs)
    stats = {"govs": 0, "repeats": 0, "vops": 0, "modulo_changed": 0}
    for code, off, unit in units:
        if code in CONFIG_CODES:
            if not config_done:
                first_config.append(unit)
                if code == 0xB0 and len(unit) != 5:
                    fail("visual object sequence header is not 8 bits")
                if code == 0xB5:
                    # The decoder skips exactly 16 bits here.
                    if len(unit) != 6:
                        fail("visual object header is %d bytes, not 2" % (len(unit) - 4))
                if 0x20 <= code <= 0x2F:
                    vol_bytes, f, g = rewrite_vol(unit, code)
                    res = g["vop_time_increment_resolution"]
                    nbits = time_bits(res)
                    out += vol_bytes
                else:
                    out += unit
            else:
                repeated.append(unit)
            continue
        if code == 0xB3:
            br = BitReader(unit, 4)
            hours, minutes = br.read(5), br.read(6)
            if br.read(1) != 1:
                fail("GOV marker missing")
            seconds = br.read(6)
            last_base = hours * 3600 + minutes * 60 + seconds
            stats["govs"] += 1
            continue
        if code == 0xB6:
            if nbits is None:
                fail("VOP before the VOL")
            if repeated:
                if [u for u in repeated] != first_config[:len(repeated)]:
                    fail("repeated configuration headers differ from the first ones")
                stats["repeats"] += 1
                repeated = []
            config_done = True
            h, after_modulo, payload_bits = parse_vop(unit, nbits)
            if h["coding_type"] == 2:
                fail("B-VOP in the stream")
            if not h["vop_coded"]:
                fail("VOP with vop_coded = 0")
            if h["intra_dc_vlc_thr"] != 0:
                fail("intra_dc_vlc_thr is not 0 (DC must always be coded separately)")
            base = last_base + h["modulo_time_base"]
            last_base = base
            new_modulo = base - new_last_base
            if new_modulo < 0:
                fail("VOP time goes backwards")
            new_last_base = base
            if new_modulo != h["modulo_time_base"]:
                stats["modulo_changed"] += 1
            out += rewrite_vop(unit, after_modulo, payload_bits, new_modulo)
            stats["vops"] += 1
            continue
        fail("unexpected start code %02X at offset %d" % (code, off))
    return bytes(out), stats


def verify(orig, new):
    """Every VOP keeps its coding type, time and header fields; only VOPs follow the config."""
    vol_o, vops_o = scan(orig)
    vol_n, vops_n = scan(new)
    if len(vops_o) != len(vops_n):
        fail("VOP count changed")
    for a, b in zip(vops_o, vops_n):
        for k in ("coding_type", "time", "time_increment", "vop_quant", "fcode", "rounding_type"):
            if a.get(k) != b.get(k):
                fail("VOP at %d: %s %r -> %r" % (a["offset"], k, a.get(k), b.get(k)))
    units = split_units(new)
    seen_vop = False
    for code, off, unit in units:
        if code == 0xB6:
            seen_vop = True
        elif seen_vop:
            fail("non-VOP start code %02X after the first VOP" % code)
        elif code == 0xB3:
            fail("GOV left in the stream")
    return vol_n, vops_n


def info(path):
    vol, vops = scan(open(path, "rb").read())
    print("VOL", " ".join("%s=%s" % kv for kv in vol.items()))
    for i, h in enumerate(vops):
        print("VOP %d off=%d size=%d type=%s time=%.4f modulo=%d inc=%d q=%s fcode=%s rnd=%s" % (
            i, h["offset"], h["size"], "IPBS"[h["coding_type"]], h["time"], h["modulo_time_base"],
            h["time_increment"], h.get("vop_quant"), h.get("fcode"), h.get("rounding_type")))


def main(argv):
    if len(argv) == 4 and argv[1] == "rewrite":
        orig = open(argv[2], "rb").read()
        new, stats = rewrite(orig)
        vol, vops = verify(orig, new)
        open(argv[3], "wb").write(new)
        print("rewrote %s: %d VOPs, %d GOVs dropped, %d repeated headers dropped, "
              "%d modulo_time_base changed, res=%d, quant_type=%d, fcodes=%s, quants=%d..%d" % (
                  argv[3], stats["vops"], stats["govs"], stats["repeats"], stats["modulo_changed"],
                  vol["vop_time_increment_resolution"], vol["quant_type"],
                  sorted(set(h.get("fcode") for h in vops if h.get("fcode"))),
                  min(h["vop_quant"] for h in vops), max(h["vop_quant"] for h in vops)))
        return 0
    if len(argv) == 3 and argv[1] == "info":
        info(argv[2])
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
