/* Where the About box sends its users: the project's web page and support
   address. Plain #defines, read by the resource script (the link texts) and
   by the About box (the targets), so the two can never disagree. */
#ifndef KELVARA_PROJECT_LINKS_H
#define KELVARA_PROJECT_LINKS_H

#define KELVARA_WEB_PAGE "https://kelvara.org/"
#define KELVARA_SUPPORT_ADDRESS "support@kelvara.org"
#define KELVARA_MAIL_SUBJECT "Kelvara Question"

#endif
