#!/usr/bin/python3
"""usage: pnm_peers.py QXHOST FAULTS: qxhost's PNM conversions against netpbm's. Each PNM file made
here (P1-P6; maxval 1, 15, 255, 1000, 65535; widths about
byte and word edges: 1-3, 7-9, 15-17, 31-33, 203) converts with qxhost to a Sun
raster file that rasttopnm reads with the pixels of `pnmtorast FILE | rasttopnm`; netpbm's own Sun
raster files of it (pnmtorast, standard and run-length) convert with qxhost to the bytes rasttopnm
writes. Where FAULTS lets pnmtorast be wrong or refuse a file and it is, qxhost's file must read as
netpbm reads the source; a fault that never happens fails. Exit 1 on a difference; 77 (skipped)
without netpbm."""
import concurrent.futures, glob, os, random, shutil, subprocess, sys, tempfile
from peer_reads import pnm_rgb

KINDS = [('P1', 1), ('P4', 1)] + [(m, v) for m in ('P2', 'P5', 'P3', 'P6')
                                  for v in (1, 15, 255, 1000, 65535)]
WIDTHS, HEIGHT = [1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 203], 3


def make_source(path, magic, maxval, width):
    """A PNM file of random samples, 0 and maxval often, a comment in its header."""
    rnd = random.Random(f'{magic}{maxval}{width}')
    rows = [[rnd.choice((0, maxval, rnd.randint(0, maxval))) for _ in
             range(width * (3 if magic in 'P3P6' else 1))] for _ in range(HEIGHT)]
    head = f'{magic}\n# pnm_peers.py\n{width} {HEIGHT}\n' + ('' if magic in 'P1P4' else f'{maxval}\n')
    if magic == 'P4':
        body = b''.join(bytes(int(''.join(map(str, r[i:i + 8])).ljust(8, '0'), 2)
                              for i in range(0, width, 8)) for r in rows)
    elif magic in 'P5P6':
        body = bytes(b for r in rows for v in r for b in ((v >> 8, v & 255) if maxval > 255 else (v,)))
    else:
        body = '\n'.join((' ', '')[magic == 'P1'].join(map(str, r)) for r in rows).encode() + b'\n'
    with open(path, 'wb') as f:
        f.write(head.encode() + body)


def run(*command, may_fail=False):
    done = subprocess.run(command, capture_output=True)
    if done.returncode and not may_fail:
        sys.exit(f'{" ".join(command)}: exit {done.returncode}: {done.stderr.decode().strip()}')
    return None if done.returncode else done.stdout


def load_faults(path):
    """Rows of program, kinds, widths and evidence (the file's head says how)."""
    return [dict(program=program, kinds=kinds.split(','), matched=False, widths=set(WIDTHS)
                 if widths == 'all' else {w for part in widths.split(',') for w in range(
                     int(part.split('-')[0]), int(part.split('-')[-1]) + 1)})
            for program, kinds, widths, _ in (line.split(None, 3) for line in open(path)
                                              if line.strip() and not line.startswith('#'))]


def check(tmp, name, width, faults):
    """The problems with one source, in words."""
    ours = pnm_rgb(run('rasttopnm', f'{tmp}/ours/{name}.ras'))
    made = os.path.exists(f'{tmp}/rle/{name}.ras')  # pnmtorast wrote it
    theirs = made and pnm_rgb(run('rasttopnm', f'{tmp}/rle/{name}.ras'))
    fault = next((f for f in faults if f['program'] == 'pnmtorast' and width in f['widths']
                  and name.rsplit('-', 1)[0] in f['kinds']), None)
    problems = [] if made or fault else [f'{name}: pnmtorast refuses it, unlisted']
    if fault and theirs != ours:
        fault['matched'], theirs = True, pnm_rgb(run('pamdepth', '255', f'{tmp}/src/{name}.pnm'))
    if ours != theirs:
        problems.append(f'{name}: qxhost\'s Sun raster file reads otherwise than netpbm\'s')
    return problems + [f'{name}: qxhost writes netpbm\'s {storage} file otherwise than rasttopnm'
                       for storage in ('standard', 'rle') if made and run(
                           'rasttopnm', f'{tmp}/{storage}/{name}.ras') != open(
                           f'{tmp}/{storage}-back/{name}.pnm', 'rb').read()]


def main(qxhost, faults_path):
    missing = [t for t in ('rasttopnm', 'pnmtorast', 'pamdepth') if not shutil.which(t)]
    if missing:
        print('skipped: not installed: netpbm (' + ', '.join(missing) + ')')
        return 77
    faults = load_faults(faults_path)
    sources = {f'{m}-m{v}-w{w}': (m, v, w) for m, v in KINDS for w in WIDTHS}
    with tempfile.TemporaryDirectory() as tmp:
        for folder in ('src', 'ours', 'standard', 'rle', 'standard-back', 'rle-back'):
            os.mkdir(f'{tmp}/{folder}')
        for name, kind in sources.items():
            make_source(f'{tmp}/src/{name}.pnm', *kind)
            for storage, option in (('standard', ['-standard']), ('rle', [])):
                made = run('pnmtorast', *option, f'{tmp}/src/{name}.pnm', may_fail=True)
                if made is not None:
                    open(f'{tmp}/{storage}/{name}.ras', 'wb').write(made)
        for source, to, folder in (('src', 'ras', 'ours'), ('standard', 'pnm', 'standard-back'),
                                   ('rle', 'pnm', 'rle-back')):
            run(qxhost, '--quiet', 'batch', '--to', to, '--output-dir', f'{tmp}/{folder}',
                *sorted(glob.glob(f'{tmp}/{source}/*')))
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            problems = sum(pool.map(lambda item: check(tmp, item[0], item[1][2], faults),
                                    sources.items()), [])
    problems += [f'{f["program"]} {",".join(f["kinds"])}: the fault listed never happens'
                 for f in faults if not f['matched']]
    print('\n'.join(f'FAIL {p}' for p in problems) or f'{len(sources)} PNM files agree with netpbm')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) == 3 else __doc__)
