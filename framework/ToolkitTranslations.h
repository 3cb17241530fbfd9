// The toolkit's own texts (standard buttons, the file dialog) in the program's language.
#pragma once

// Installs the toolkit's Simplified Chinese translations into the running application, once per
// application object. Returns false, after a console diagnostic, when there is no application or
// the translation file cannot be loaded; the program then runs with the toolkit's English texts.
bool AfxLoadToolkitTranslations();
