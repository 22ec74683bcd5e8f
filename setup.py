"""Builds the Python package with the project's CMake build, for the Python
that runs pip: the extension module and the shared libraries it needs go
into the package directory, the extension finding them beside itself.

    python3 -m venv --system-site-packages env
    env/bin/pip install --no-build-isolation .

needs cmake, a C++17 compiler, Boost, nlohmann-json, python3-dev and
pybind11-dev (scripts/install-deps test), and downloads nothing.
"""

import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake_lists:
        return re.search(r"VERSION (\d+\.\d+\.\d+)", cmake_lists.read()).group(1)


class CMakeBuild(build_ext):
    """Configures and builds the module and the libraries with CMake, then
    installs both into the package directory of the build."""

    def build_extension(self, extension):
        # Objects at the same depth as in the other builds, for a compiler
        # cache to share.
        build = os.path.abspath(self.build_temp)
        staged = os.path.abspath(os.path.join(self.build_temp, "staged"))
        package = os.path.join(os.path.abspath(self.build_lib),
                               "dazozazidorezeraro")
        print(f"building dazozazidorezeraro for {sys.executable}", flush=True)
        subprocess.run(
            ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
             f"-DPython_EXECUTABLE={sys.executable}",
             "-DDAZO_BUILD_PYTHON=ON", "-DDAZO_BUILD_TESTS=OFF",
             "-DDAZO_BUILD_EXAMPLES=OFF", "-DDAZO_BUILD_TOOLS=OFF",
             # The libraries go into the package, beside the extension.
             "-DCMAKE_INSTALL_LIBDIR=dazozazidorezeraro",
             "-DDAZO_PYTHON_INSTALL_DIR=.", f"-DCMAKE_INSTALL_PREFIX={staged}"],
            check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        # The module and the libraries it links, nothing else.
        subprocess.run(["cmake", "--build", build, "-j", jobs, "--target",
                        "dazo_python_native"], check=True)
        shutil.rmtree(staged, ignore_errors=True)
        for component in ("runtime", "python"):
            subprocess.run(["cmake", "--install", build, "--component",
                            component], check=True)
        os.makedirs(package, exist_ok=True)
        installed = os.path.join(staged, "dazozazidorezeraro")
        # The extension, and each library under its soname (a link to the
        # versioned file, which is not needed beside it).
        for name in os.listdir(installed):
            path = os.path.join(installed, name)
            if name.endswith(".so") or os.path.islink(path):
                shutil.copy2(path, os.path.join(package, name))


setup(
    name="dazozazidorezeraro",
    version=project_version(),
    description="GeoCOM sessions and a virtual survey instrument",
    license="MIT",
    python_requires=">=3.9",
    package_dir={"": "python"},
    packages=["dazozazidorezeraro"],
    package_data={"dazozazidorezeraro": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("dazozazidorezeraro._native", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Named as the module, so that "-p" or pytest_plugins naming the module
    # finds it loaded rather than registering it twice.
    entry_points={"pytest11": [
        "dazozazidorezeraro.pytest_plugin = dazozazidorezeraro.pytest_plugin"]},
    zip_safe=False,
)
