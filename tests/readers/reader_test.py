#!/usr/bin/env python3
"""Our outputs through the format library modders' editors use.

reader_test.py BUILD_DIR READER_DIR [COUNT]

Generates COUNT sample models (and their dictionaries), converts them the way
a user does (kestrun '*', then kestrun-kit fix on the models, txd on the
dictionaries, png --levels for the pictures), loads every result with the
third-party reader and compares what it read with what the generator built
(kestrun-sample-facts): per geometry the triangle records and the Bin Mesh,
the frames and atomics; per texture its name, size, format and decoded
pixels against our PNG's. A model written the old way (every triangle
material 0) must come out of fix with the right materials. The reader skips
what it does not understand without a word, so every check compares values,
never only that loading raised nothing.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

failures = []
passed = 0


def expect(condition, what):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(what)


def run(*command, cwd):
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)}: exit {result.returncode}\n{result.stdout}{result.stderr}")


def png_rgba(path):
    """The pixels of an 8-bit RGBA PNG without interlacing, as libspng writes them."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 6, 0), path
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, out = zlib.decompress(idat), 4 * width, bytearray()
    previous = bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - 4] if i >= 4 else 0
            up, corner = previous[i], previous[i - 4] if i >= 4 else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        out += row
        previous = row
    return width, height, bytes(out)


def shapes(triangles):
    """Records (b, a, material, c) as vertices in any order with their
    material, sorted; triangles with a repeated vertex left out."""
    return sorted(tuple(sorted((t[0], t[1], t[3]))) + (t[2],) for t in triangles if len({t[0], t[1], t[3]}) == 3)


def compare_model(name, model, facts):
    expect(len(model.frame_list) == len(facts["frames"]), f"{name}: frame count")
    for i, (frame, want) in enumerate(zip(model.frame_list, facts["frames"])):
        rotation = [v for row in frame.rotation_matrix for v in row]
        expect(frame.parent == want["parent"] and rotation == want["rotation"] and
               list(frame.position) == want["position"], f"{name}: frame {i} matrix or parent")
        expect(frame.name == (want["name"] or "unnamed"), f"{name}: frame {i} name {frame.name!r}")
    atomics = [{"frame": a.frame, "geometry": a.geometry} for a in model.atomic_list]
    expect(atomics == facts["atomics"], f"{name}: atomics {atomics}")
    expect(len(model.geometry_list) == len(facts["geometries"]), f"{name}: geometry count")
    for g, (geometry, want) in enumerate(zip(model.geometry_list, facts["geometries"])):
        where = f"{name}: geometry {g}"
        triangles = [list(t) for t in geometry.triangles]
        expect(triangles == want["triangles"], f"{where}: triangle records (vertices and materials)")
        splits = [(s.indices_count, s.material) for s in geometry.split_headers]
        expect(splits == [(len(m["indices"]), m["material"]) for m in want["meshes"]],
               f"{where}: Bin Mesh meshes {splits}")
        # The reader unrolls strips its own way, degenerate joins included:
        # the Bin Mesh must name the same triangles, each with its material,
        # whatever their winding.
        expect(shapes(geometry.extensions.get("mat_split", [])) == shapes(want["triangles"]),
               f"{where}: the Bin Mesh's triangles and materials")


def png_names(textures):
    """The file each texture's PNG gets: names equal but for case get ~2, ~3..."""
    seen, names = {}, []
    for t in textures:
        key = t["name"].lower()
        seen[key] = seen.get(key, 0) + 1
        names.append(t["name"] if seen[key] == 1 else f"{t['name']}~{seen[key]}")
    return names


def same_pixels(ours, theirs, texture, level):
    """The reader widens 5- and 6-bit fields as v * 255 // max, we repeat the
    high bits: the field value must agree exactly either way. DXT is decoded
    by each with its own rounding, within 1."""
    theirs = theirs[:len(ours)]
    if len(theirs) != len(ours):
        return False
    if texture.platform_properties.dxt_type != 0:
        return all(abs(a - b) <= 1 for a, b in zip(ours, theirs))
    if texture.get_raster_format_type() in (1, 2, 10) and not texture.palette:
        fields = {1: (5, 5, 5), 2: (5, 6, 5), 10: (5, 5, 5)}[texture.get_raster_format_type()]
        for i in range(0, len(ours), 4):
            for c, bits in enumerate(fields):
                if (ours[i + c] >> (8 - bits)) * 255 // ((1 << bits) - 1) != theirs[i + c]:
                    return False
            if ours[i + 3] != theirs[i + 3]:
                return False
        return True
    return ours == theirs


def compare_dictionary(name, dictionary, facts, png_folder):
    where = name
    textures = dictionary.native_textures
    expect([t.name for t in textures] == [f["name"] for f in facts], f"{where}: texture names")
    for texture, want, png in zip(textures, facts, png_names(facts)):
        what = f"{where}: {want['name']}"
        expect((texture.width, texture.height, texture.depth, texture.num_levels) ==
               (want["width"], want["height"], want["depth"], want["levels"]), f"{what}: size, depth or levels")
        expect(texture.raster_format_flags == want["raster_format"] and
               texture.platform_properties.dxt_type == want["compression"], f"{what}: format")
        for level in range(texture.num_levels):
            width, height = texture.get_width(level), texture.get_height(level)
            if want["compression"] != 0 and (width < 4 or height < 4):
                continue  # that reader returns whole 4x4 blocks there
            w, h, ours = png_rgba(os.path.join(png_folder, f"{png}.{level}.png"))
            expect((w, h) == (width, height), f"{what}: level {level} size")
            expect(same_pixels(ours, texture.to_rgba(level), texture, level), f"{what}: level {level} pixels")


def main():
    build, reader = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    count = sys.argv[3] if len(sys.argv) > 3 else "12"
    sys.path.insert(0, reader)
    from gtaLib import dff, txd

    work = tempfile.mkdtemp(prefix="kestrun-reader-")
    try:
        kit = os.path.join(build, "kestrun-kit")
        run(os.path.join(build, "kestrun-samples"), work, count, cwd=work)
        known = os.path.join(work, "known")
        run(os.path.join(build, "kestrun-sample-facts"), known, count, cwd=work)
        facts = json.load(open(os.path.join(known, "facts.json")))
        run(os.path.join(build, "kestrun"), "*", cwd=work)
        output = os.path.join(work, "output")
        models, dictionaries = sorted(facts["models"]), sorted(facts["dictionaries"])
        run(kit, "fix", *models, cwd=output)
        run(kit, "txd", *dictionaries, cwd=output)
        run(kit, "png", "--levels", "-o", "png", *dictionaries, cwd=output)
        shutil.copy(os.path.join(known, "legacy.dff"), output)
        run(kit, "fix", "legacy.dff", cwd=output)

        for name in models + ["legacy.dff"]:
            model = dff.dff()
            model.load_file(os.path.join(output, name))
            compare_model(name, model, facts["models"][facts["legacy"] if name == "legacy.dff" else name])
        for name in dictionaries:
            dictionary = txd.txd()
            dictionary.load_file(os.path.join(output, name))
            compare_dictionary(name, dictionary, facts["dictionaries"][name],
                               os.path.join(output, "png", name[:-4]))
    finally:
        shutil.rmtree(work)

    for f in failures[:40]:
        print("FAIL:", f)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
