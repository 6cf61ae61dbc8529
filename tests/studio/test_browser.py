"""The page in headless Chromium, driven as a user drives it: two strokes drawn with the
pointer, each given to an adjust group, a hue slider dragged, the labels view, the scene saved;
a scene of over a megabyte loaded, graded and saved over itself once the user agrees.
The saved scene must make the command-line tool render exactly the frames the page showed.
Screenshots of each step go to the test's output folder (ZP_STUDIO_OUTPUT)."""

import base64
import json
import os

import numpy as np
import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import Select, WebDriverWait

from conftest import (Studio, folder_with_example, many_vertices, png_pixels, read_pixels,
                      render_cli)

WAIT = 120  # seconds: a cold render on a loaded two-core machine


@pytest.fixture
def output(tmp_path):
    folder = os.environ.get("ZP_STUDIO_OUTPUT") or str(tmp_path / "output")
    os.makedirs(folder, exist_ok=True)
    return folder


@pytest.fixture
def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1400,900", "--force-device-scale-factor=1"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()


class Page:
    def __init__(self, driver, output):
        self.d = driver
        self.output = output
        self.shots = 0

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def wait(self, what, condition):
        try:
            return WebDriverWait(self.d, WAIT, poll_frequency=0.1).until(lambda _: condition())
        except Exception:
            self.shot("failed")
            logs = "\n".join(e["message"] for e in self.d.get_log("browser"))
            pytest.fail(f"waiting for {what}: {self.message()}\nconsole:\n{logs}")

    def message(self):
        return self.js("return document.querySelector('#message').textContent")

    def shot(self, name):
        self.shots += 1
        self.d.save_screenshot(os.path.join(self.output, f"{self.shots:02d}-{name}.png"))

    def shown(self):
        """(seq, view) of the frame on screen, once no render is in flight."""
        return self.js("const b = document.body.dataset;"
                       "return b.busy === '1' ? null : [Number(b.shownSeq || 0), b.shownView]")

    def settled_frame(self, view, after_seq):
        """The PNG bytes of the first frame of `view` newer than after_seq, once none is due."""
        self.wait(f"a {view} frame", lambda: (s := self.shown()) and s[0] > after_seq
                  and s[1] == view)
        return self.shown()[0], base64.b64decode(self.js(
            "return await window.studio.shownPng()"))

    def drag(self, element, dx):
        self.d.execute_script("arguments[0].scrollIntoView({block: 'center'})", element)
        ActionChains(self.d, duration=50).click_and_hold(element).move_by_offset(dx, 0) \
            .release().perform()

    def answer_confirm(self, accept):
        """Waits for the page's confirm dialog; returns its text once answered."""
        WebDriverWait(self.d, WAIT).until(expected_conditions.alert_is_present())
        alert = self.d.switch_to.alert
        text = alert.text
        alert.accept() if accept else alert.dismiss()
        return text

    def draw(self, points):
        """Presses at the first picture point, drags through the others, releases."""
        canvas = self.d.find_element(By.ID, "canvas")
        view = self.js("const v = window.studio.viewer, r = v.canvas.getBoundingClientRect();"
                       "return [v.scale, v.offset.x, v.offset.y, r.width, r.height]")
        scale, ox, oy, w, h = view

        def offset(p):  # from the canvas centre, as the pointer actions count
            return round(p[0] * scale + ox - w / 2), round(p[1] * scale + oy - h / 2)

        # Several pointer moves per segment, as a hand makes them.
        path = [points[0]]
        for a, b in zip(points, points[1:]):
            path += [(a[0] + (b[0] - a[0]) * t / 4, a[1] + (b[1] - a[1]) * t / 4)
                     for t in range(1, 5)]
        steps = [offset(p) for p in path]
        chain = ActionChains(self.d, duration=20)
        chain.move_to_element_with_offset(canvas, *steps[0]).click_and_hold()
        for last, here in zip(steps, steps[1:]):
            chain.move_by_offset(here[0] - last[0], here[1] - last[1])
        chain.release().perform()


def test_strokes_groups_slider_labels_and_saved_scene(tmp_path, cli, browser, output):
    folder = folder_with_example(tmp_path / "folder")
    studio = Studio(folder, "astronaut.png")
    try:
        browser.get(studio.url + "/")
        page = Page(browser, output)
        page.wait("the page", lambda: page.js("return document.body.dataset.ready") == "1")
        seq, _ = page.settled_frame("image", 0)
        page.shot("opened")

        page.draw([(120, 170), (118, 100), (150, 40), (230, 15), (320, 12)])  # backdrop
        page.draw([(70, 290), (85, 330), (95, 370), (85, 430)])  # suit sleeve
        names = page.js("return window.studio.model.masks.map(m => [m.name, m.closed,"
                        " m.vertices.length])")
        assert [n[:2] for n in names] == [["Stroke 1", False], ["Stroke 2", False]]
        assert all(n[2] >= 2 for n in names)
        page.shot("strokes")

        for group, mask in (("adjust-1", 1), ("adjust-2", 2)):
            section = browser.find_element(By.CSS_SELECTOR,
                                           f"details[data-group='Adjust {group[-1]}'] > summary")
            section.click()
            Select(browser.find_element(By.ID, f"p-{group}--mask")).select_by_index(mask)
        seq, before = page.settled_frame("image", seq)
        page.shot("groups")

        hue = browser.find_element(By.ID, "p-adjust-1--hue")
        page.drag(hue, 45)
        value = float(hue.get_attribute("value"))
        assert value > 0
        seq, after = page.settled_frame("image", seq)
        assert after != before
        page.shot("hue")

        browser.find_element(By.CSS_SELECTOR, "[data-view=labels]").click()
        seq, labels = page.settled_frame("labels", seq)
        page.shot("labels")

        path = browser.find_element(By.ID, "scene-path")
        path.clear()
        path.send_keys("studio-scene.json")
        browser.find_element(By.ID, "scene-save").click()
        page.wait("the save", lambda: page.js("return document.body.dataset.savedScene")
                  == "studio-scene.json")
        page.shot("saved")
    finally:
        studio.stop()

    saved = os.path.join(folder, "studio-scene.json")
    with open(saved) as f:
        scene = json.load(f)
    assert [m["name"] for m in scene["masks"]] == ["Stroke 1", "Stroke 2"]
    assert scene["params"]["Adjust 1"] == {"Mask": "Stroke 1", "Hue": value}
    assert scene["params"]["Adjust 2"] == {"Mask": "Stroke 2"}
    picture = os.path.join(folder, "astronaut.png")
    for view, shown in (("image", after), ("labels", labels)):
        out = render_cli(cli, saved, picture, tmp_path / f"cli-{view}.png", "--view", view)
        assert np.array_equal(png_pixels(shown, tmp_path), read_pixels(out)), view


def test_a_scene_over_a_megabyte_grades_and_saves_over_itself_when_agreed(tmp_path, cli,
                                                                          browser, output):
    folder = folder_with_example(tmp_path / "folder")
    big = os.path.join(folder, "big.json")
    with open(big, "w") as f:
        json.dump(many_vertices(10, 4000), f)
    assert os.path.getsize(big) > 1 << 20
    studio = Studio(folder, "astronaut.png")
    try:
        browser.get(studio.url + "/")
        page = Page(browser, output)
        page.wait("the page", lambda: page.js("return document.body.dataset.ready") == "1")
        seq, _ = page.settled_frame("image", 0)

        path = browser.find_element(By.ID, "scene-path")
        path.clear()
        path.send_keys("big.json")
        browser.find_element(By.ID, "scene-load").click()
        page.wait("the big scene", lambda: page.message() == "loaded big.json")
        seq, frame = page.settled_frame("image", seq)
        page.shot("big-scene")

        # Every move sends the whole scene again; each must come through whole.
        section = browser.find_element(By.CSS_SELECTOR, "details[data-group='Adjust 1'] > summary")
        section.click()
        hue = browser.find_element(By.ID, "p-adjust-1--hue")
        for move in (15, 35, -25, 45):  # from the middle of the slider, where a press lands
            page.drag(hue, move)
            seq, shown = page.settled_frame("image", seq)
            assert shown != frame and "JSON" not in page.message(), page.message()
            frame = shown
        value = float(hue.get_attribute("value"))
        page.shot("big-scene-graded")

        with open(big, "rb") as f:
            before = f.read()
        browser.find_element(By.ID, "scene-save").click()
        assert "big.json already exists" in page.answer_confirm(accept=False)
        page.wait("the kept file", lambda: page.message() == "not saved: big.json kept")
        with open(big, "rb") as f:
            assert f.read() == before
        browser.find_element(By.ID, "scene-save").click()
        page.answer_confirm(accept=True)
        page.wait("the save", lambda: page.js("return document.body.dataset.savedScene")
                  == "big.json")
    finally:
        studio.stop()

    with open(big) as f:
        scene = json.load(f)
    assert scene["params"]["Adjust 1"] == {"Mask": "Ring 1", "Hue": value}
    assert [len(m["vertices"]) for m in scene["masks"]] == [4000] * 10
    out = render_cli(cli, big, os.path.join(folder, "astronaut.png"), tmp_path / "cli.png")
    assert np.array_equal(png_pixels(frame, tmp_path), read_pixels(out))
