"""What the extraction and install benchmarks share: writing the generated
payload, its size, and the payload archive cut out of a built package."""
import json
import os
import subprocess


def payload_writer(folder):
    """put(rel, data, mode): writes one payload file below folder."""
    def put(rel, data, mode=0o644):
        path = f"{folder}/{rel}"
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)
    return put


def tree(path):
    """(bytes, files) below path."""
    sizes = [os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(path) for f in fs]
    return sum(sizes), len(sizes)


def cut_payload(pack, package, archive):
    """Writes the package's payload archive to archive; returns `korvel-pack inspect`'s fields."""
    info = json.loads(subprocess.run([pack, "inspect", package], capture_output=True, text=True,
                                     check=True).stdout)
    with open(package, "rb") as f:
        f.seek(info["payload_offset"])
        with open(archive, "wb") as out:
            out.write(f.read(info["payload_size"]))
    return info
