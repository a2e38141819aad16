"""The store console in Debian's Chromium, headless, driven by Selenium: a
wrong token gets the login form and nothing else; the right one opens the
devices, a coupon searched by the buyer's CPF, its extrato and the month's
bundle, downloaded. Screenshots at 1366x768 and 390x844 go to
$KOVRAD_SCREENSHOTS when it is set."""

import os
import shutil
import sys
import unittest
import zipfile

from fakeprinter import PrinterHubTestCase
from hubtest import SALE, fields, wait_until

SKIP = 77
CONSOLE_TOKEN = "token-do-console-da-loja"
SIZES = ((1366, 768), (390, 844))
FLAGS = ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage")

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.common.exceptions import WebDriverException
except ImportError:
    webdriver = None


def skip_reason():
    if webdriver is None:
        return "python3-selenium is not installed"
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        return "chromium and chromium-driver are not installed"
    return None


class ConsoleBrowserTest(PrinterHubTestCase):
    config = f'intervalo_status = 1\n[console]\ntoken = "{CONSOLE_TOKEN}"\n'
    till_printers = 'demais = "balcao"\n'

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.keys = []
        for till in (1, 2, 3):
            document = SALE.replace("<numeroCaixa>001</numeroCaixa>", f"<numeroCaixa>{till:03d}</numeroCaixa>")
            reply = cls.hub.form("enviardadosvenda", {"numero_caixa": till, "dados_venda": document})
            cls.keys.append(fields(reply[1]["retorno"])[8])
        cls.downloads = os.path.join(cls.dir, "downloads")
        os.makedirs(cls.downloads)
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium")
        for flag in FLAGS:
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + os.path.join(cls.dir, "chromium"))
        options.add_argument("--window-size=1366,768")
        options.add_argument("--lang=pt-BR")
        options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                  "download.prompt_for_download": False,
                                                  "intl.accept_languages": "pt-BR"})
        cls.browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
        cls.browser.set_page_load_timeout(20)
        cls.browser.execute_cdp_cmd("Browser.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": cls.downloads})
        cls.url = f"http://{cls.hub.host}:{cls.hub.port}"
        cls.shots = os.environ.get("KOVRAD_SCREENSHOTS") or os.path.join(cls.dir, "shots")
        os.makedirs(cls.shots, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        super().tearDownClass()

    def shoot(self, name):
        """The page at each size, whole width, as a phone at 390 wide."""
        for width, height in SIZES:
            self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
            self.browser.save_screenshot(os.path.join(self.shots, f"console-{name}-{width}.png"))
        self.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def follow(self, by, what):
        """Clicks a link or button and waits for the page it leads to."""
        self.browser.execute_script("window.kovradOldPage = true")
        self.browser.find_element(by, what).click()

        def arrived():
            try:
                return self.browser.execute_script(
                    "return !window.kovradOldPage && document.readyState === 'complete'")
            except WebDriverException:  # between the two pages
                return False
        wait_until(arrived, 20, "the next page")

    def text(self):
        return self.browser.find_element(By.TAG_NAME, "body").text

    def log_in(self, token):
        self.browser.get(self.url + "/console/")
        self.browser.find_element(By.NAME, "token").send_keys(token)
        self.follow(By.TAG_NAME, "button")

    def test_the_console_in_a_browser(self):
        self.log_in("token-errado")
        self.assertIn("Token inválido", self.text())
        self.assertEqual(self.browser.find_elements(By.LINK_TEXT, "Cupons"), [])
        self.browser.get(self.url + "/console/cfe")
        self.assertEqual(self.browser.find_elements(By.TAG_NAME, "table"), [])
        self.shoot("entrar")

        self.log_in(CONSOLE_TOKEN)
        # The device's status, once the watcher has asked for it.
        wait_until(lambda: self.browser.refresh() or "Consultado em" in self.text(), 30, "device status shown")
        self.assertIn("SAT " + self.sat.serial, self.text())
        self.assertIn("desbloqueado", self.text())
        self.shoot("dispositivos")

        self.follow(By.LINK_TEXT, "Cupons")
        self.browser.find_element(By.NAME, "documento").send_keys("11144477735")
        self.browser.find_element(By.NAME, "caixa").send_keys("2")
        self.follow(By.XPATH, "//button[text()='Procurar']")
        rows = self.browser.find_elements(By.CSS_SELECTOR, "tbody tr")
        self.assertEqual(len(rows), 1, self.text())
        self.browser.get(self.url + "/console/cfe")
        self.shoot("cupons")

        number = str(int(self.keys[1][3:][31:37]))
        self.browser.get(self.url + "/console/cfe?caixa=2")
        self.follow(By.LINK_TEXT, number)
        self.assertIn(self.keys[1], self.text())
        extrato = self.browser.find_element(By.CSS_SELECTOR, "img.extrato")
        wait_until(lambda: self.browser.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth > 0", extrato), 20, "extrato shown")
        self.follow(By.XPATH, "//button[text()='Imprimir o extrato']")
        self.assertIn("extrato impresso", self.text())
        self.follow(By.LINK_TEXT, "Voltar ao cupom")
        self.shoot("cupom")

        self.follow(By.LINK_TEXT, "Pacote do contador")
        month = self.browser.find_element(By.NAME, "mes").get_attribute("value")
        self.browser.find_element(By.XPATH, "//button[text()='Baixar o pacote']").click()
        bundle = os.path.join(self.downloads, f"cfe-{month}.zip")
        wait_until(lambda: os.path.exists(bundle) and not any(
            name.endswith(".crdownload") for name in os.listdir(self.downloads)), 30, "bundle downloaded")
        names = zipfile.ZipFile(bundle).namelist()
        for key in self.keys:
            self.assertIn(f"vendas/{key}.xml", names)


if __name__ == "__main__":
    reason = skip_reason()
    if reason:
        print("SKIPPED: " + reason, flush=True)
        sys.exit(SKIP)
    unittest.main()
