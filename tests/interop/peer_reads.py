#!/usr/bin/python3
"""usage: peer_reads.py QXHOST FAULTS: peer readers read every kind of image qxhost writes as Sun
raster, standard and run-length, at widths with and without row padding, as its source PNG, save
the misreadings FAULTS lists. A crash, an unlisted fault or a listed one that no longer happens
fails (exit 1); 77: the readers present passed but not all are installed (the test is skipped)."""
import concurrent.futures, importlib.util, os, random, re, shutil, struct, subprocess, sys
import tempfile, zlib

WIDTHS, HEIGHT = list(range(1, 18)) + [31, 32, 33, 203], 7
KINDS = ('bw-noise', 'bw-checks', 'two-colour', 'palette', 'grey', 'rgb', 'rgba')
STORAGES, OUTCOMES = ('standard', 'run-length'), ('exact', 'known', 'wrong', 'refused', 'crash')
TWO = [(255, 255, 255), (220, 20, 40)]  # red on white: a swapped or ignored map shows
PALETTE = [(i * 67 % 256, i * 151 % 256, 255 - i) for i in range(256)]
COMMANDS = {'netpbm': ['rasttopnm', '{}'], 'ImageMagick': ['/usr/bin/convert', '{}', 'ppm:-'],
            'GraphicsMagick': ['gm', 'convert', '{}', 'ppm:-']}
READERS = list(COMMANDS) + ['Pillow']


def write_png(path, width, ctype, depth, rows, plte=None):
    def chunk(tag, data):
        return struct.pack('>I', len(data)) + tag + data + struct.pack('>I', zlib.crc32(tag + data))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n'
                + chunk(b'IHDR', struct.pack('>IIBBBBB', width, len(rows), depth, ctype, 0, 0, 0))
                + (chunk(b'PLTE', bytes(c for rgb in plte for c in rgb)) if plte else b'')
                + chunk(b'IDAT', zlib.compress(b''.join(b'\0' + bytes(r) for r in rows)))
                + chunk(b'IEND', b''))


def make_source(path, kind, width):
    """Writes the PNG and returns the RGB bytes it shows. A noise image never ends in what zero
    bytes show in its Sun raster file (white at 1 bit, map entry 0, black): a reader that runs out
    of data and makes up zeros must not read it right by chance."""
    rnd = random.Random(f'{kind}{width}')
    # runs of 1 to 6 equal values, so that the encoder writes codes and literals
    runs = lambda pick: [v for _ in range(width) for v in [pick()] * rnd.randint(1, 6)][:width]
    byte = lambda: rnd.choice((0x80, rnd.randrange(256)))  # the run-length escape, often
    if kind in ('bw-noise', 'bw-checks', 'two-colour'):
        bits = [[(x + y) & 1 if kind == 'bw-checks' else rnd.getrandbits(1) for x in range(width)]
                for y in range(HEIGHT)]
        if kind != 'bw-checks':
            bits[-1][-1] = int(kind == 'two-colour')
        rows = [[int(''.join(map(str, r[i:i + 8])).ljust(8, '0'), 2) for i in range(0, width, 8)]
                for r in bits]
        colours = TWO if kind == 'two-colour' else [(0, 0, 0), (255, 255, 255)]
        png = (3 if kind == 'two-colour' else 0, 1, rows)
        rgb = [colours[b] for r in bits for b in r]
    elif kind in ('palette', 'grey'):
        rows = [runs(byte) for _ in range(HEIGHT)]
        rows[-1][-1] = 0x80
        colours = PALETTE if kind == 'palette' else [(v, v, v) for v in range(256)]
        png, rgb = (3 if kind == 'palette' else 0, 8, rows), [colours[v] for r in rows for v in r]
    else:
        pixels = [runs(lambda: (byte(), byte(), byte())) for _ in range(HEIGHT)]
        pixels[-1][-1] = (0x80, 0x80, 0x80)
        if kind == 'rgba':  # alpha varies down every column: never all 0 or all 255
            pixels = [[p + ((x * 53 + y * 29 + 7) % 256,) for x, p in enumerate(r)]
                      for y, r in enumerate(pixels)]
        png, rgb = (6 if kind == 'rgba' else 2, 8, [sum(r, ()) for r in pixels]), sum(pixels, [])
    write_png(path, width, *png, colours if png[0] == 3 else None)
    return bytes(c for p in rgb for c in p[:3])


def pnm_rgb(data):
    """Width, height and RGB bytes of a binary PBM, PGM or PPM image (any maximum value)."""
    head = re.match(rb'P(4)\s+(\d+)\s+(\d+)\s|P([56])\s+(\d+)\s+(\d+)\s+(\d+)\s', data)
    if not head:
        raise ValueError(f'no PBM, PGM or PPM header: {data[:20]!r}')
    w, h, body = int(head[2] or head[5]), int(head[3] or head[6]), data[head.end():]
    if head[1]:
        body = [0 if body[y * ((w + 7) // 8) + x // 8] >> (7 - x % 8) & 1 else 255
                for y in range(h) for x in range(w)]
    else:
        top, wide = int(head[7]), int(head[7]) > 255
        body = [round((body[i] << 8 | body[i + 1] if wide else body[i]) * 255 / top)
                for i in range(0, len(body) - wide, 1 + wide)]
    return w, h, bytes(s for s in body for _ in range(1 if head[4] == b'6' else 3))


def compare(width, want, w, h, rgb):
    if (w, h, len(rgb)) != (width, HEIGHT, len(want)):
        return 'wrong', f'{w}x{h} pixels, {len(rgb)} bytes'
    i = next((i for i in range(0, len(want), 3) if rgb[i:i + 3] != want[i:i + 3]), None)
    return ('exact', '') if i is None else ('wrong', f'({i // 3 % width},{i // 3 // width}) is '
                                            f'{tuple(rgb[i:i + 3])}, not {tuple(want[i:i + 3])}')


def read(reader, path, width, want):
    if reader == 'Pillow':  # in process: a crash ends the test, which fails it
        from PIL import Image
        try:
            with Image.open(path) as image:
                return compare(width, want, *image.size, image.convert('RGB').tobytes())
        except Exception as error:
            return 'refused', f'{type(error).__name__}: {error}'
    done = subprocess.run([a.replace('{}', path) for a in COMMANDS[reader]],
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
    if done.returncode < 0:
        return 'crash', f'signal {-done.returncode}'
    if done.returncode:
        return 'refused', (done.stderr.decode(errors='replace').strip().splitlines() or ['-'])[-1]
    try:
        return compare(width, want, *pnm_rgb(done.stdout))
    except (ValueError, IndexError) as error:
        return 'wrong', f'unreadable output: {error}'


def installed(reader):
    """Whether the reader is there, and made by whom its name says (not some other convert)."""
    if reader == 'Pillow':
        return importlib.util.find_spec('PIL') is not None
    program = COMMANDS[reader][:COMMANDS[reader].index('{}')] + ['-version']
    done = shutil.which(program[0]) and subprocess.run(program, stdin=subprocess.DEVNULL,
                                                       capture_output=True)
    return bool(done) and reader.lower().encode() in (done.stdout + done.stderr).lower()


def load_faults(path):
    """Rows of reader, kinds, storage, widths, outcome and evidence (the file's head says how); a
    row that matches no file, misspelt or stale, fails the test."""
    faults = []
    for number, line in enumerate(open(path), 1):
        if line.strip() and not line.startswith('#'):
            reader, kinds, storage, widths, outcome, _ = line.split(None, 5)
            if widths not in ('all', 'padded', 'unpadded'):  # else a list such as 1-8,17
                widths = {w for part in widths.split(',') for w in
                          range(int(part.split('-')[0]), int(part.split('-')[-1]) + 1)}
            faults.append(dict(where=f'{os.path.basename(path)}:{number}', reader=reader,
                               matched=False, kinds=kinds.split(','), storage=storage,
                               widths=widths, outcome=outcome))
    return faults


def convert(qxhost, tmp):
    """Sun raster files of every source, standard and run-length: one qxhost batch for each."""
    sources = {f'{k}-w{w}': (k, w) for k in KINDS for w in WIDTHS}
    rgb = {name: make_source(os.path.join(tmp, name + '.png'), *kw) for name, kw in sources.items()}
    files = []
    for storage in STORAGES:
        out = os.path.join(tmp, storage)
        os.mkdir(out)
        done = subprocess.run([qxhost, '--quiet', 'batch', '--to', 'ras', '-j', '2', '--output-dir',
                               out] + ['--rle'] * (storage == 'run-length')
                              + [os.path.join(tmp, name + '.png') for name in sources],
                              capture_output=True, text=True)
        if done.returncode:
            sys.exit(f'qxhost batch ended with {done.returncode}: {done.stderr.strip()}')
        for name, (kind, width) in sources.items():
            with open(os.path.join(out, name + '.ras'), 'rb') as f:
                depth = struct.unpack('>8I', f.read(32))[3]
            files.append((f.name, storage, kind, width, depth, rgb[name]))
    return files


def main(qxhost, faults_path):
    faults = load_faults(faults_path)
    found = [r for r in READERS if installed(r)]
    with tempfile.TemporaryDirectory() as tmp:
        files = convert(qxhost, tmp)
        jobs = [(reader, file) for reader in found for file in files]
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            results = list(pool.map(lambda j: read(j[0], j[1][0], j[1][3], j[1][5]), jobs))
    counts, problems = {}, {}
    for (reader, (_, storage, kind, width, depth, _)), (outcome, detail) in zip(jobs, results):
        # a row of an odd byte count carries a pad byte
        rule = 'padded' if (width * depth + 7) // 8 % 2 else 'unpadded'
        fault = next((f for f in faults if f['reader'] == reader and kind in f['kinds']
                      and f['storage'] in (storage, 'both') and (f['widths'] in ('all', rule)
                      if type(f['widths']) is str else width in f['widths'])), None)
        if fault:
            fault['matched'] = True
        if fault and outcome == fault['outcome']:
            outcome = 'known'
        elif fault or outcome != 'exact':
            why = f'{outcome} where {fault["where"]} says {fault["outcome"]}' if fault else outcome
            problems.setdefault((reader, storage, kind, why), []).append((width, depth, detail))
        counts.setdefault((reader, storage), dict.fromkeys(OUTCOMES, 0))[outcome] += 1
    print(f'{"reader":15} {"storage":11}' + ''.join(f'{o:>8}' for o in OUTCOMES))
    for (reader, storage), cell in counts.items():
        print(f'{reader:15} {storage:11}' + ''.join(f'{cell[o]:8}' for o in OUTCOMES))
    for (reader, storage, kind, why), cases in problems.items():
        width, depth, detail = cases[0]
        print(f'FAIL {reader}, {storage} {kind}: {why}, widths {[c[0] for c in cases]}'
              f' (width {width}, depth {depth}{": " * bool(detail)}{detail})')
    stale = [f['where'] for f in faults if f['reader'] not in READERS
             or f['reader'] in found and not f['matched']]
    for where in stale:
        print(f'FAIL {where}: the fault listed there matches no file')
    if len(found) < len(READERS):
        print('skipped: not installed: ' + ', '.join(r for r in READERS if r not in found))
    return 1 if problems or stale else 77 if len(found) < len(READERS) else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) == 3 else __doc__)
