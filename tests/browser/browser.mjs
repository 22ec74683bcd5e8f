// What the browser tests share: Debian's chromium, headless, launched by
// puppeteer-core with a profile of its own; checks printed one per line;
// a page's console errors and requests gathered; screenshots kept.
import { spawn } from "node:child_process";
import { mkdirSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import puppeteer from "puppeteer-core";

// The arguments the test is given, by the names in its usage; without them,
// the usage and exit status 2.
export function commandLine(script, ...names) {
  const given = process.argv.slice(2, 2 + names.length);
  if (given.length < names.length) {
    console.error(`usage: node ${script} ${names.join(" ")}`);
    process.exit(2);
  }
  return given;
}

// Starts geocom with args and resolves, once every pattern has matched its
// standard output, with the child and each pattern's first group.
export function startGeocom(geocom, args, patterns) {
  const child = spawn(geocom, args, { stdio: ["ignore", "pipe", "inherit"] });
  return new Promise((resolve, reject) => {
    let output = "";
    const timer = setTimeout(() => reject(new Error(`${args[0]} did not start`)), 10000);
    child.stdout.on("data", (chunk) => {
      output += chunk;
      const found = patterns.map((pattern) => output.match(pattern));
      if (found.every(Boolean)) {
        clearTimeout(timer);
        resolve({ child, addresses: found.map((match) => match[1]) });
      }
    });
    child.on("exit", (code) => reject(new Error(`${args[0]} exited with ${code}`)));
  });
}

// Prints each check and remembers the failed ones; exit() ends the test
// with status 0 when every check passed, 1 otherwise.
export function checks() {
  const failures = [];
  return {
    check(condition, what) {
      console.log(`${condition ? "ok  " : "FAIL"} ${what}`);
      if (!condition) failures.push(what);
    },
    exit() {
      process.exit(failures.length === 0 ? 0 : 1);
    },
  };
}

// Chromium with nothing of its own going to the network; close() removes
// its profile too.
export async function launch(name) {
  const profile = mkdtempSync(join(tmpdir(), `${name}-chromium-`));
  const browser = await puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
           "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync",
           `--user-data-dir=${profile}`],
  });
  return {
    browser,
    async close() {
      await browser.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A new page of the size, with the console errors (and uncaught
// exceptions) and every URL it asks for gathered as they come.
export async function watchedPage(browser, width, height) {
  const page = await browser.newPage();
  await page.setViewport({ width, height });
  const consoleErrors = [];
  const requests = [];
  page.on("console", (message) => {
    if (message.type() === "error") consoleErrors.push(message.text());
  });
  page.on("pageerror", (error) => consoleErrors.push(error.message));
  page.on("request", (request) => requests.push(request.url()));
  return { page, consoleErrors, requests };
}

// Checks that a page served from origin asked nothing of another and logged
// no error.
export function checkSelfContained(check, origin, { consoleErrors, requests }) {
  const elsewhere = requests.filter((url) => !url.startsWith(origin) && !url.startsWith("data:"));
  check(elsewhere.length === 0, `nothing asked of another origin (${elsewhere.join(" ")})`);
  check(consoleErrors.length === 0,
        `no console error${consoleErrors.length ? ": " + consoleErrors.join("; ") : ""}`);
}

// The page's screenshot in path, whole or as far as the window shows.
export async function keepScreenshot(page, path, fullPage = true) {
  mkdirSync(dirname(path), { recursive: true });
  await page.screenshot({ path, fullPage });
}
