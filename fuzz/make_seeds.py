#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, cut from real files written by servers.

    fuzz/make_seeds.py OUT --zarafa DIR [--zarafa DIR ...] --sakila DIR --frm DIR [--frm DIR ...]
        [--page-formats DIR]

OUT/frm: every .frm file found. OUT/page: leaf pages of the tables fuzz_page.cpp decodes, each
prefixed with the table's number in that target's list. OUT/dictionary: the first 16 pages of each
ibdata1 (the dictionary header and both dictionary roots are among them). OUT/compressed: index
pages of the ROW_FORMAT=COMPRESSED tables and compressed pages of the PAGE_COMPRESSED ones of the
folders make-page-formats-fixture.sh made (DIR/16k), each prefixed with fuzz_compressed_page.cpp's
form byte.
"""
import argparse
import hashlib
import pathlib
import struct

PAGE = 16384
# The order of fuzz_page.cpp's definitions list.
ZARAFA_TABLES = ["properties", "lob", "names", "hierarchy", "stores"]
SAKILA_TABLES = ["actor", "film", "customer", "staff", "address"]
LEAVES_PER_TABLE = 4


def write(folder: pathlib.Path, data: bytes) -> None:
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)


def pages(path: pathlib.Path):
    with path.open("rb") as f:
        number = 0
        while True:
            page = f.read(PAGE)
            if len(page) < PAGE:
                return
            yield number, page
            number += 1


def leaf_of(page: bytes, index_id: int) -> bool:
    page_type = struct.unpack_from(">H", page, 24)[0]
    level = struct.unpack_from(">H", page, 64)[0]
    return page_type == 17855 and level == 0 and struct.unpack_from(">Q", page, 66)[0] == index_id


def clustered_ids(folder: pathlib.Path) -> dict:
    ids = {}
    lines = (folder / "truth" / "innodb-indexes.tsv").read_text().splitlines()[1:]
    for line in lines:
        table, _name, index_id, _root, kind = line.split("\t")
        if int(kind) & 1:
            ids[table] = int(index_id)
    return ids


def zarafa_seeds(folder: pathlib.Path, out: pathlib.Path) -> None:
    ids = clustered_ids(folder)
    wanted = {ids[t]: n for n, t in enumerate(ZARAFA_TABLES) if t in ids}
    taken = {}
    first_pages = []
    for number, page in pages(folder / "ibdata1"):
        if number < 16:
            first_pages.append(page)
        index_id = struct.unpack_from(">Q", page, 66)[0]
        table = wanted.get(index_id)
        if table is not None and leaf_of(page, index_id) and taken.get(table, 0) < LEAVES_PER_TABLE:
            taken[table] = taken.get(table, 0) + 1
            write(out / "page", bytes([table]) + page)
    write(out / "dictionary", b"".join(first_pages))


def sakila_seeds(folder: pathlib.Path, out: pathlib.Path) -> None:
    for n, table in enumerate(SAKILA_TABLES, start=len(ZARAFA_TABLES)):
        path = folder / f"{table}.ibd"
        if not path.exists():
            continue
        all_pages = dict(pages(path))
        index_id = struct.unpack_from(">Q", all_pages[3], 66)[0]
        # The root with the rest of the file behind it, so the tree walk has real children.
        write(out / "page", bytes([n]) + b"".join(all_pages[i] for i in range(3, min(len(all_pages), 8))))
        leaves = [p for _, p in sorted(all_pages.items()) if leaf_of(p, index_id)]
        for page in leaves[:LEAVES_PER_TABLE]:
            write(out / "page", bytes([n]) + page)


# fuzz_compressed_page.cpp's form byte: KEY_BLOCK_SIZE 1-16 KiB, then the page compressed forms.
ZIP_FORMS = {1024: 0, 2048: 1, 4096: 2, 8192: 3, 16384: 4}
FULL_CRC32_FORMS = {"zlib": 6, "lz4": 7, "lzo": 8, "lzma": 9, "bzip2": 10, "snappy": 11}
PAGES_PER_FILE = 6


def compressed_seeds(folder: pathlib.Path, out: pathlib.Path) -> None:
    for size in ZIP_FORMS:
        path = folder / "row_compressed" / "Zarafa" / f"zc{size // 1024}.ibd"
        if not path.exists():
            continue
        data = path.read_bytes()
        taken = 0
        for at in range(0, len(data) - size + 1, size):
            page = data[at:at + size]
            if struct.unpack_from(">H", page, 24)[0] == 17855 and taken < PAGES_PER_FILE:
                taken += 1
                write(out / "compressed", bytes([ZIP_FORMS[size]]) + page)
    for algorithm, form in FULL_CRC32_FORMS.items():
        for name, byte in ((f"pc_{algorithm}", form), (f"pcc_{algorithm}", 5)):
            path = folder / "page_compressed" / "Zarafa" / f"{name}.ibd"
            if not path.exists():
                continue
            taken = 0
            for number, page in pages(path):
                if number > 0 and struct.unpack_from(">H", page, 24)[0] >> 15 and taken < PAGES_PER_FILE:
                    taken += 1
                    end = len(page.rstrip(b"\0"))
                    write(out / "compressed", bytes([byte]) + page[:max(end, 64)])


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("out", type=pathlib.Path)
    parser.add_argument("--zarafa", type=pathlib.Path, action="append", default=[])
    parser.add_argument("--sakila", type=pathlib.Path)
    parser.add_argument("--frm", type=pathlib.Path, action="append", default=[])
    parser.add_argument("--page-formats", type=pathlib.Path)
    args = parser.parse_args()
    for folder in args.frm + ([args.sakila] if args.sakila else []):
        for path in sorted(folder.rglob("*.frm")):
            write(args.out / "frm", path.read_bytes())
    for folder in args.zarafa:
        zarafa_seeds(folder, args.out)
    if args.sakila:
        sakila_seeds(args.sakila, args.out)
    if args.page_formats:
        compressed_seeds(args.page_formats / "16k", args.out)
    for target in ("frm", "page", "dictionary", "compressed"):
        count = len(list((args.out / target).glob("*"))) if (args.out / target).exists() else 0
        print(f"{target}: {count} seeds")


if __name__ == "__main__":
    main()
