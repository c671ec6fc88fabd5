// What the page tests share: Debian's Chromium, headless, and a failure that ends the test.
import puppeteer from "puppeteer-core";

export const launch = () =>
  puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run"],
  });

export const failure = (test) => (message) => {
  console.error(test + ": " + message);
  process.exit(1);
};
