// What the browser tests share: Debian's chromium, headless, launched by
// puppeteer-core with a profile of its own; checks printed one per line;
// a page's console errors and requests gathered; screenshots kept.
import { mkdirSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import puppeteer from "puppeteer-core";

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

// The page's screenshot in path, whole or as far as the window shows.
export async function keepScreenshot(page, path, fullPage = true) {
  mkdirSync(dirname(path), { recursive: true });
  await page.screenshot({ path, fullPage });
}
