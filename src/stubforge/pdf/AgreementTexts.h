#pragma once

#include <array>
#include <string_view>

// The fixed texts of the employment agreement, its non-disclosure agreement,
// the services agreements and the service level exhibit. Texts with a filled
// value are split around it: the value goes between the two parts.
namespace stubforge::agreement_texts {

// A heading with its body, and how far the lines after the first stand in.
struct Clause {
    std::string_view heading;
    std::string_view body;
    double indent = 0;
};

// ---- Employment agreement ----------------------------------------------------

inline constexpr std::string_view kEmploymentTitle = "EMPLOYMENT AGREEMENT\n\n";
inline constexpr std::string_view kStateOf = "State of ";
inline constexpr std::string_view kEmploymentFooter = "Employment Agreement (";
inline constexpr std::string_view kAgreementNumberPrefix = "CT-";
inline constexpr std::string_view kSuccessLine = "PDF generated successfully at ";

inline constexpr std::array<std::string_view, 7> kJobTitles = {
    "Software Engineer", "Product Manager", "Sales Representative", "Marketing Specialist",
    "UI/UX Designer",    "Data Analyst",    "Operations Manager",
};

inline constexpr std::string_view kPreambleOpening = "This Employment Agreement (the \"Agreement\") is made as of ";
inline constexpr std::string_view kPreambleParties = " (the \"Effective Date\") by and between ";
inline constexpr std::string_view kPreambleEmployee = " (\"Employee\") and ";
inline constexpr std::string_view kPreambleClosing =
    " (\"Employer\"), (each, a \"Party\" and collectively, the \"Parties\"). The Parties agree and covenant to be "
    "bound by the terms set forth in this Agreement as follows:\n\n";

// Clauses with a filled value: heading, then the body around the value.
inline constexpr std::string_view kEmploymentHeading = "1. Employment.";
inline constexpr std::string_view kEmploymentBefore = "Employer shall employ Employee as a ";
inline constexpr std::string_view kEmploymentAfter =
    " on a full-time basis under this Agreement. Employee shall also perform such further duties as are customarily "
    "performed by someone in that position and as Employer may reasonably assign.";
inline constexpr Clause kPerformance{
    "2. Performance of Duties.",
    "Employee shall perform the duties required by this Agreement in a professional manner, in good faith and to the "
    "best of Employee's skills, abilities, talents and experience."};
inline constexpr std::string_view kTermHeading = "3. Term.";
inline constexpr std::string_view kTermBefore = "Employee's employment under this Agreement shall begin on ";
inline constexpr std::string_view kTermMiddle =
    " and shall continue for an unspecified term on an \"at will\" basis until ended by either Party. Employee's "
    "probation period shall be ";
inline constexpr std::string_view kTermAfter =
    ", starting from the first day of employment. If Employee does not complete the probation period to Employer's "
    "satisfaction, Employer may terminate this Agreement by written notice to Employee.";
inline constexpr Clause kCompensation{"4. Compensation.", ""};
inline constexpr std::string_view kBaseSalaryHeading = "A. Base Salary.";
inline constexpr std::string_view kBaseSalaryBefore =
    "As compensation for services provided under this Agreement, Employer will pay Employee ";
inline constexpr std::string_view kBaseSalaryAfter =
    " per annum on a monthly basis. Applicable taxes will be deducted.";
inline constexpr std::array<Clause, 3> kAfterSalary = {{
    {"B. Overtime.",
     "Employee is a salaried, exempt employee and is not entitled to overtime pay for hours worked beyond the "
     "regular working week.",
     30},
    {"C. Additional Compensation.",
     "Employee may receive bonuses or other additional compensation at Employer's sole discretion; no such payment "
     "creates a right to future payments.",
     30},
    {"5. Expenses.",
     "Employer shall reimburse Employee for reasonable out-of-pocket expenses incurred in the performance of "
     "Employee's duties, upon submission of an itemised account of such expenses with supporting receipts."},
}};
inline constexpr std::string_view kWorkLocationHeading = "6. Work Location.";
inline constexpr std::string_view kWorkLocationBefore = "Employee will primarily perform their employment duties at ";
inline constexpr std::string_view kWorkLocationAfter = ".";
inline constexpr std::array<Clause, 12> kAfterWorkLocation = {{
    {"7. Employee Benefits.",
     "Employee shall be entitled to the benefits that Employer provides under its policies in force from time to "
     "time or that applicable law requires."},
    {"A. Paid Time Off.", "Employee shall be entitled to paid time off as mandated by applicable law.", 30},
    {"B. Other.",
     "All other benefits and conditions of employment are set out in the Employee Handbook, as amended by Employer "
     "from time to time.",
     30},
    {"8. Disability.",
     "If Employee is unable to perform the essential functions of the position for more than 30 days because of "
     "illness or incapacity, Employee's compensation shall be reduced by 50% until Employee returns to work."},
    {"9. Confidentiality.", ""},
    {"A. Confidential and Proprietary Information.",
     "In the course of employment Employee will be exposed to sensitive, non-public information about Employer's "
     "business, customers, finances, methods and plans.",
     30},
    {"B. Confidentiality Obligations.",
     "Employee shall not disclose such information to any third party, nor use it for any purpose beyond the "
     "performance of Employee's duties under this Agreement.",
     30},
    {"C. Rights in Confidential and Proprietary Information.",
     "All such information remains the sole and exclusive property of Employer and shall be returned to Employer on "
     "request or at the end of employment.",
     30},
    {"10. Ownership of Work Product.",
     "All work product created by Employee in the course of employment, including inventions, documents, designs "
     "and software, belongs exclusively to Employer."},
    {"11. Termination.",
     "Employer may terminate this Agreement immediately for cause, and either Party may terminate it without cause "
     "by giving the other Party 30 days' written notice. Employee is entitled to severance of $0."},
    {"12. Miscellaneous.", ""},
    {"A. Authority to Contract.",
     "Employee has no authority to enter into contracts or other obligations that bind Employer without prior "
     "written consent",
     30},
}};
inline constexpr std::string_view kGoverningLawHeading = "B. Governing Law.";
inline constexpr std::string_view kGoverningLawBefore =
    "This Agreement shall be governed exclusively by the laws of the State of ";
inline constexpr std::string_view kGoverningLawAfter =
    "; disputes shall be resolved via mediation or binding arbitration.";
inline constexpr std::array<Clause, 6> kClosingClauses = {{
    {"C. Entire Agreement and Amendment.",
     "This Agreement supersedes all prior understandings between the Parties on its subject and may be amended only "
     "in a writing signed by both Parties.",
     30},
    {"D. Notices.",
     "All notices under this Agreement shall be given in writing and delivered personally, by courier or by "
     "certified mail to the other Party's address.",
     30},
    {"E. Waiver.", "No waiver of any provision of this Agreement is effective unless made in writing and signed.", 30},
    {"F. Further Assurances.",
     "Each Party shall execute such further documents and take such further actions as are reasonably required to "
     "carry out this Agreement.",
     30},
    {"G. Severability.",
     "If any provision of this Agreement is held invalid or unenforceable, the remaining provisions remain in full "
     "force and effect.",
     30},
    {"H. No Assignment.",
     "Employee's rights and obligations under this Agreement are personal and may not be assigned or transferred.", 30},
}};

inline constexpr std::string_view kEmploymentWitness =
    "\fIN WITNESS WHEREOF, this Agreement has been executed as of the date first written above.\n\n";
inline constexpr std::string_view kEmployeeLabel = "Employee:\n\n";
inline constexpr std::string_view kPassport = "\nPassport: ";
inline constexpr std::string_view kEmployerLabel = "\n\nEmployer:\n\n";
inline constexpr std::string_view kCompanyOpen = " (Company: ";

// ---- Non-disclosure agreement --------------------------------------------------

inline constexpr std::string_view kNDAFooter = "Non-Disclosure Agreement (";
inline constexpr std::string_view kNDATitle = "NON-DISCLOSURE AND CONFIDENTIALITY AGREEMENT\n\n";
inline constexpr std::string_view kNDATransaction =
    "Potential business relationship regarding employment and confidential information";
inline constexpr std::string_view kNDAOpening =
    "This Non-Disclosure and Confidentiality Agreement (this \"Agreement\") is entered into as of ";
inline constexpr std::string_view kNDAOpeningAfter = " (the \"Effective Date\") by and between:\n\n";
inline constexpr std::string_view kDisclosingPartyIntro = "Disclosing Party: ";
inline constexpr std::string_view kDisclosingPartyRole = ", as a(n) Corporation (\"Disclosing Party\") and\n\n";
inline constexpr std::string_view kReceivingPartyIntro = "Receiving Party: ";
inline constexpr std::string_view kReceivingPartyRole = ", as a(n) Individual (\"Receiving Party\")\n\n";
inline constexpr std::string_view kNDAInterest =
    "Disclosing Party and Receiving Party have indicated an interest in exploring a potential business relationship "
    "relating to: ";
inline constexpr std::string_view kNDAInterestAfter = " (the \"Transaction\").\n\n";

inline constexpr std::array<Clause, 2> kNDADefinition = {{
    {"1. Confidential Information.", "Confidential information is:"},
    {"Confidential Information.",
     "All information shared by Disclosing Party. Confidential Information includes, without limitation, all "
     "written, oral, electronic and visual information disclosed by Disclosing Party or its representatives to "
     "Receiving Party, whether before or after the Effective Date, including business plans, strategies, forecasts, "
     "budgets, financial statements, pricing, customer and supplier lists, contracts, marketing plans, personnel "
     "data, compensation details, research, product designs, specifications, drawings, prototypes, software in "
     "source or object code, algorithms, databases, know-how, trade secrets, inventions, processes and techniques. "
     "It also includes all notes, analyses, compilations, summaries and other materials prepared by or for "
     "Receiving Party that contain or reflect any such information, and the fact that the parties are exploring the "
     "Transaction. Information is Confidential Information whether or not it is marked as confidential, provided "
     "that a reasonable person would understand it to be confidential given its nature and the circumstances of its "
     "disclosure. Confidential Information remains the property of Disclosing Party at all times, and no licence or "
     "other right in it is granted to Receiving Party beyond the limited right to use it to evaluate the Transaction "
     "in accordance with this Agreement."},
}};
inline constexpr Clause kNDAExclusionsIntro{
    "2. Exclusions from Confidential Information.",
    "The obligation of confidentiality with respect to Confidential Information will not apply to any information:"};
inline constexpr std::array<Clause, 5> kNDAExclusions = {{
    {"a. ",
     "If the information is or becomes publicly known through no wrongful act or omission of Receiving Party or its "
     "representatives.",
     30},
    {"b. ",
     "If the information is received from another source that is not bound by any obligation of confidentiality to "
     "Disclosing Party with respect to it.",
     30},
    {"c. ",
     "If the information is disclosed by Receiving Party with the prior written permission of Disclosing Party, to "
     "the extent of that permission.",
     30},
    {"d. ",
     "If the information is independently developed by Receiving Party without use of or reference to any "
     "Confidential Information, as shown by its written records.",
     30},
    {"e. ",
     "If the disclosure of the information is required by law, regulation, subpoena, court order or other legal "
     "process, provided that Receiving Party gives Disclosing Party prompt written notice of the requirement before "
     "any disclosure is made, so that Disclosing Party may seek a protective order or other appropriate remedy at "
     "its own expense; that Receiving Party cooperates reasonably with Disclosing Party in any such effort; and that, "
     "if no protective order or other remedy is obtained, Receiving Party discloses only that portion of the "
     "Confidential Information which its legal counsel advises is legally required to be disclosed and uses "
     "reasonable efforts to obtain assurance that confidential treatment will be given to the information so "
     "disclosed.",
     30},
}};
inline constexpr Clause kNDAObligationsIntro{"3. Obligation to Maintain Confidentiality.",
                                             "With respect to Confidential Information:"};
inline constexpr std::array<Clause, 5> kNDAObligations = {{
    {"a. ",
     "Receiving Party shall hold all Confidential Information in strict confidence and disclose it only to those of "
     "its representatives who need to know it to evaluate the Transaction.",
     30},
    {"b. ",
     "Receiving Party shall protect Confidential Information with security processes at least as protective as "
     "those it uses for its own information of a similar nature, and never with less than reasonable care.",
     30},
    {"c. ",
     "On termination of this Agreement or on written request, Receiving Party shall promptly return or destroy all "
     "Confidential Information and every copy, note and summary of it.",
     30},
    {"d. ",
     "Receiving Party shall notify Disclosing Party at once on discovering any unauthorised use or disclosure of "
     "Confidential Information and help to prevent any further one.",
     30},
    {"e. ", "The obligation not to disclose Confidential Information shall:", 30},
}};
inline constexpr std::string_view kNDASurvival =
    "\u2611 Survive the termination of this Agreement and continue in full force and effect for as long as the "
    "Confidential Information remains confidential and has not entered the public domain through no fault of "
    "Receiving Party, notwithstanding the expiry or termination of this Agreement or the completion or abandonment of "
    "the Transaction for any reason.\n\n";
inline constexpr Clause kNDATransactionSecrecy{
    "4. Non-Disclosure of Transaction.",
    "Without the prior written consent of Disclosing Party, Receiving Party shall not disclose to any person the fact "
    "that Confidential Information has been made available, that discussions or negotiations are taking place "
    "between the parties concerning the Transaction, or any of the terms, conditions or other facts with respect to "
    "the Transaction, including its status. This obligation applies equally to Receiving Party's representatives, "
    "and Receiving Party is responsible for any breach of it by them. Disclosures required by law are handled as "
    "the exclusions of this Agreement provide."};
inline constexpr Clause kNDANonCompete{
    "5. Non-Compete.",
    "Receiving Party agrees that at no time will Receiving Party engage in any business activity which is "
    "competitive with Disclosing Party, nor work for any company which competes with Disclosing Party:"};
inline constexpr Clause kNDANonSolicitation{
    "6. Non-Solicitation.",
    "Receiving Party agrees that it will not, directly or indirectly, solicit, recruit or induce any employee, "
    "consultant or independent contractor of Disclosing Party to end or reduce that person's relationship with "
    "Disclosing Party, nor hire or engage any such person, whether for itself or on behalf of any other person or "
    "business:"};
inline constexpr std::string_view kNDADuringTerm =
    "\u2611 During the term of Receiving Party's relationship with Disclosing Party.\n";
inline constexpr std::string_view kNDAUntilDate =
    "\u2610 From the date of this Agreement until ____________________.\n\n";
inline constexpr std::array<Clause, 4> kNDAMiddleClauses = {{
    {"7. Representatives.",
     "Receiving Party shall inform its representatives of the confidential nature of the Confidential Information "
     "and is liable for any breach of this Agreement by any of them."},
    {"8. Disclaimer.",
     "Disclosing Party makes no representation or warranty, express or implied, as to the accuracy, completeness, "
     "reliability or fitness for any purpose of the Confidential Information, and Disclosing Party shall have no "
     "liability to Receiving Party or its representatives arising from the use of the Confidential Information or "
     "from any errors or omissions in it. Only those representations and warranties that are made in a final "
     "definitive agreement regarding the Transaction, when and if executed, and subject to such limitations and "
     "restrictions as it may specify, shall have any legal effect. Nothing in this Agreement obliges either party to "
     "proceed with the Transaction or to continue discussions, and either party may end them at any time."},
    {"9. Remedies.",
     "Receiving Party acknowledges that any unauthorised use or disclosure of Confidential Information would cause "
     "Disclosing Party irreparable injury for which monetary damages alone would not be an adequate remedy. "
     "Accordingly, in addition to any other remedies available at law or in equity, Disclosing Party shall be "
     "entitled to seek specific performance and injunctive or other equitable relief to prevent or restrain any "
     "actual or threatened breach of this Agreement, without the necessity of proving actual damages and without "
     "posting a bond or other security. Receiving Party shall not oppose such relief on the ground that monetary "
     "damages would be adequate. If a court of competent jurisdiction determines that Receiving Party or any of its "
     "representatives has breached this Agreement, Receiving Party shall reimburse Disclosing Party for the "
     "reasonable legal fees and costs of the proceedings, including any appeal. These rights and remedies are "
     "cumulative and not exclusive of any rights or remedies provided by law."},
    {"10. Notices.",
     "All notices under this Agreement shall be in writing and are deemed given when delivered personally, one "
     "business day after deposit with a recognised overnight courier, three business days after mailing by "
     "certified or registered mail with return receipt requested and postage prepaid, or on confirmed transmission "
     "by facsimile, in each case addressed to the party at its address below or at such other address as the party "
     "may designate by notice given under this clause. Notices shall be sent to the following addresses:"},
}};
inline constexpr std::string_view kDisclosingPartyBlock = "Disclosing Party\n";
inline constexpr std::string_view kReceivingPartyBlock = "Receiving Party\n";
inline constexpr std::string_view kNoticeName = "Name: ";
inline constexpr std::string_view kNoticeRepresentative = "Representative name: ";
inline constexpr std::string_view kNoticeManager = "   Title: Manager\n";
inline constexpr std::string_view kNoticeEmployee = "   Title: Employee\n";
inline constexpr std::string_view kNoticeAddress = "Address: ";
inline constexpr std::string_view kNoticePhone = "Phone number: ";
inline constexpr std::string_view kNoticeFax = "Fax number: ";
inline constexpr Clause kNDATermination{"11. Termination.", "This Agreement will terminate on the earlier of:"};
inline constexpr std::array<std::string_view, 3> kNDATerminationEvents = {
    "(a) the written agreement of the parties to terminate this Agreement;\n",
    "(b) the consummation of the Transaction; or\n",
    "(c) 12 months from the date hereof.\n\n",
};
inline constexpr Clause kNDAAmendment{
    "12. Amendment.", "This Agreement may be amended or modified only by a written agreement signed by both parties."};
inline constexpr std::string_view kNDAJurisdictionHeading = "13. Jurisdiction.";
inline constexpr std::string_view kNDAJurisdictionBefore =
    "This Agreement will be governed by and construed in accordance with the laws of the State of ";
inline constexpr std::string_view kNDAJurisdictionMiddle =
    ", without regard to the principles of conflict of laws. Each party consents to the exclusive jurisdiction of "
    "the courts located in the State of ";
inline constexpr std::string_view kNDAJurisdictionAfter =
    " and waives any objection to venue in those courts, including any objection that a proceeding has been brought "
    "in an inconvenient forum.";
inline constexpr Clause kNDAMiscellaneous{
    "14. Miscellaneous.",
    "This Agreement binds and benefits the parties and their respective successors and permitted assigns. Neither "
    "party may assign or transfer this Agreement or any of its rights or obligations under it without the prior "
    "written consent of the other party, and any attempted assignment without such consent is void. If any "
    "provision of this Agreement is found invalid or unenforceable, that provision shall be enforced to the maximum "
    "extent permissible and the remaining provisions shall continue in full force and effect. This Agreement is the "
    "entire agreement between the parties on its subject and supersedes all prior and contemporaneous "
    "understandings, whether written or oral. No failure or delay in exercising any right under this Agreement "
    "operates as a waiver of it."};
inline constexpr std::string_view kNDAWitness =
    "\fIN WITNESS WHEREOF, the parties hereto have executed this Agreement as of the date first written above.\n\n";
inline constexpr std::string_view kNDADisclosingSignature = "Disclosing Party:\n\n";
inline constexpr std::string_view kNDADisclosingFullName = "\n\nDisclosing Party Full Name: ";
inline constexpr std::string_view kNDAReceivingSignature = "Receiving Party:\n\n";
inline constexpr std::string_view kNDAReceivingFullName = "\n\nReceiving Party Full Name: ";

// ---- Services agreements ---------------------------------------------------------

inline constexpr std::string_view kServicesFooter = "B2B Services Agreement (";
inline constexpr std::string_view kIdentifierPrefix = "B2B-";
inline constexpr std::string_view kPageWord = "Page ";
inline constexpr std::string_view kOfWord = " of ";

inline constexpr std::array<std::string_view, 7> kServiceCatalogue = {
    "Software Development Services", "Cloud Infrastructure Management", "Digital Marketing Services",
    "IT Consulting Services",        "Data Analytics Services",         "Cybersecurity Services",
    "Business Process Automation",
};
inline constexpr std::array<int, 4> kTermMonths = {6, 12, 24, 36};

using Deliverables = std::array<std::string_view, 8>;
struct ServiceDeliverables {
    std::string_view service;
    Deliverables items;
};
inline constexpr std::array<ServiceDeliverables, 6> kDeliverables = {{
    {"Software Development Services",
     {"Requirements analysis and technical design documentation",
      "Software architecture design and system design documents", "Custom application development and implementation",
      "Unit testing, integration testing, and user acceptance testing", "Deployment and production release management",
      "Post-deployment support and maintenance for 90 days", "Technical documentation and user manuals",
      "Knowledge transfer sessions and training materials"}},
    {"Cloud Infrastructure Management",
     {"Cloud architecture assessment and optimization recommendations",
      "Infrastructure provisioning and configuration management", "Automated deployment pipeline setup and maintenance",
      "24/7 monitoring and alerting configuration", "Security hardening and compliance implementation",
      "Disaster recovery and backup strategy implementation",
      "Monthly performance reports and cost optimization analysis", "Incident response and resolution services"}},
    {"Digital Marketing Services",
     {"Market research and competitive analysis report", "Digital marketing strategy and campaign planning",
      "Search engine optimization (SEO) implementation", "Pay-per-click (PPC) advertising campaign management",
      "Social media marketing and content creation", "Email marketing automation setup and management",
      "Analytics implementation and monthly reporting", "Conversion rate optimization recommendations"}},
    {"IT Consulting Services",
     {"Current state IT assessment and gap analysis", "IT strategy roadmap and transformation planning",
      "Technology vendor evaluation and selection assistance", "IT governance framework development",
      "Business process optimization recommendations", "Change management and adoption planning",
      "Risk assessment and mitigation strategies", "Executive presentations and stakeholder communications"}},
    {"Data Analytics Services",
     {"Data warehouse design and implementation", "ETL pipeline development and automation",
      "Business intelligence dashboard creation", "Predictive analytics model development",
      "Data quality assessment and cleansing procedures", "Real-time analytics platform configuration",
      "Monthly analytics reports and insights", "Data governance framework implementation"}},
    {"Cybersecurity Services",
     {"Security risk assessment and vulnerability scanning", "Security policies and procedures documentation",
      "Firewall configuration and intrusion detection setup", "Security incident response plan development",
      "Employee security awareness training program", "Compliance audit and remediation services",
      "Penetration testing and security validation", "Monthly security monitoring and threat reports"}},
}};
inline constexpr Deliverables kDefaultDeliverables = {
    "Initial assessment and requirements gathering",
    "Solution design and architecture documentation",
    "Implementation and configuration services",
    "Testing and quality assurance procedures",
    "Deployment and go-live support",
    "Documentation and knowledge transfer",
    "Training sessions for key personnel",
    "Ongoing support and maintenance services",
};

// The short form.
inline constexpr std::string_view kServicesTitle = "SERVICES AGREEMENT\n\n";
inline constexpr std::string_view kServicesOpening = "This Services Agreement (\"Agreement\") is entered into as of ";
inline constexpr std::string_view kServicesOpeningAfter = " (\"Effective Date\") by and between:\n\n";
inline constexpr std::string_view kCorporationOf = ", a corporation organized under the laws of ";
inline constexpr std::string_view kPrincipalPlace = " with its principal place of business at ";
inline constexpr std::string_view kClientRole = " (\"Client\"), and\n\n";
inline constexpr std::string_view kProviderRole = " (\"Service Provider\").\n\n";
inline constexpr std::string_view kRecitals = "RECITALS\n\n";
inline constexpr std::string_view kServicesWhereasBefore = "WHEREAS, Client desires to obtain ";
inline constexpr std::string_view kServicesWhereasAfter = " from Service Provider; and\n\n";
inline constexpr std::string_view kServicesWhereasProvider =
    "WHEREAS, Service Provider desires to provide such services to Client on the terms and conditions set forth "
    "herein.\n\n";
inline constexpr std::string_view kServicesConsideration =
    "NOW, THEREFORE, in consideration of the mutual covenants and agreements contained herein, the parties agree as "
    "follows:\n\n";
inline constexpr std::string_view kServicesHeading = "1. SERVICES.";
inline constexpr std::string_view kServicesBefore = "Service Provider shall provide ";
inline constexpr std::string_view kServicesAfter =
    " (the \"Services\") to Client as described in the Statement of Work attached as Exhibit A, which forms part of "
    "this Agreement. Service Provider shall perform the Services in a professional and workmanlike manner in "
    "accordance with industry standards.";
inline constexpr std::string_view kTermSectionHeading = "2. TERM.";
inline constexpr std::string_view kTermSectionBefore =
    "This Agreement shall commence on the Effective Date and continue for ";
inline constexpr std::string_view kTermSectionAfter =
    " months, unless earlier terminated in accordance with Section 7 of this Agreement. The parties may renew this "
    "Agreement for further periods by mutual written agreement.";
inline constexpr std::string_view kFeeHeading = "3. COMPENSATION.";
inline constexpr std::string_view kFeeBefore =
    "In consideration for the Services, Client shall pay Service Provider a monthly fee of ";
inline constexpr std::string_view kFeeAfter =
    ", payable within thirty (30) days after receipt of invoice. Service Provider shall invoice Client on the first "
    "business day of each month for the Services of that month.";
inline constexpr std::array<Clause, 6> kServicesSections = {{
    {"4. PAYMENT TERMS.",
     "All payments under this Agreement shall be made in U.S. dollars by wire transfer or check to the account that "
     "Service Provider designates. Any amount not paid when due bears interest at 1.5% per month, or the highest rate "
     "permitted by law if that is lower. Client shall reimburse Service Provider for reasonable travel and other "
     "expenses incurred in performing the Services, if approved by Client in advance."},
    {"5. INTELLECTUAL PROPERTY.",
     "All work product, deliverables, inventions and materials created by Service Provider specifically for Client "
     "in performing the Services shall be considered work made for hire and shall be the sole and exclusive property "
     "of Client. Where any such work product does not qualify as work made for hire, Service Provider hereby assigns "
     "to Client all right, title and interest in it."},
    {"6. CONFIDENTIALITY.",
     "Each party shall keep confidential all non-public information received from the other party in connection "
     "with this Agreement and shall use it only to perform its obligations hereunder. Neither party shall disclose "
     "the other party's confidential information to any third party without prior written consent, except as "
     "required by law. These obligations survive the termination of this Agreement."},
    {"7. TERMINATION.",
     "This Agreement may be terminated: (a) by either party for convenience on thirty (30) days' prior written "
     "notice; (b) by either party on a material breach by the other party that is not cured within fifteen (15) days "
     "after written notice; or (c) at once by either party if the other party becomes insolvent, files for "
     "bankruptcy or ceases to do business."},
    {"8. WARRANTIES.",
     "Service Provider represents and warrants that: (a) it has the full right, power and authority to enter into "
     "and perform this Agreement; (b) the Services will be performed by qualified personnel with the skill and care "
     "customary in the industry; and (c) the Services and deliverables will not infringe the intellectual property "
     "rights of any third party. Service Provider shall re-perform any non-conforming Services at no charge."},
    {"9. LIMITATION OF LIABILITY.",
     "IN NO EVENT SHALL EITHER PARTY BE LIABLE FOR ANY INDIRECT, INCIDENTAL, SPECIAL, CONSEQUENTIAL OR PUNITIVE "
     "DAMAGES, INCLUDING LOST PROFITS, ARISING OUT OF THIS AGREEMENT. SERVICE PROVIDER'S TOTAL LIABILITY SHALL NOT "
     "EXCEED THE FEES PAID BY CLIENT IN THE TWELVE (12) MONTHS BEFORE THE CLAIM, EXCEPT FOR GROSS NEGLIGENCE OR "
     "WILLFUL MISCONDUCT."},
}};
inline constexpr std::string_view kGeneralProvisions = "10. GENERAL PROVISIONS.";
inline constexpr std::string_view kSubGoverningLawHeading = "(a) Governing Law.";
inline constexpr std::string_view kSubGoverningLawBefore = "This Agreement shall be governed by the laws of ";
inline constexpr std::string_view kSubGoverningLawAfter = ", without regard to its conflict of laws principles.";
inline constexpr std::array<Clause, 4> kGeneralSubsections = {{
    {"(b) Entire Agreement.",
     "This Agreement, together with its exhibits, constitutes the entire agreement between the parties and "
     "supersedes all prior agreements on its subject."},
    {"(c) Amendment.", "This Agreement may only be amended by written consent of both parties."},
    {"(d) Severability.",
     "If any provision of this Agreement is held invalid or unenforceable, the remaining provisions shall continue "
     "in full force and effect."},
    {"(e) Force Majeure.",
     "Neither party shall be liable for any delay or failure to perform due to causes beyond its reasonable "
     "control."},
}};
inline constexpr std::string_view kServicesWitness =
    "\n\fIN WITNESS WHEREOF, the parties have executed this Agreement as of the date first written above.\n\n";
inline constexpr std::string_view kClientLabel = "CLIENT:\n\n";
inline constexpr std::string_view kProviderLabel = "SERVICE PROVIDER:\n\n";
inline constexpr std::string_view kSignedBy = "\n\nBy: ";
inline constexpr std::string_view kSignedTitle = "\nTitle: ";
inline constexpr std::string_view kSignedDate = "\nDate: ";
inline constexpr std::string_view kStatementOfWork = "\n\fEXHIBIT A\nSTATEMENT OF WORK\n\n";
inline constexpr std::string_view kServicesToProvide = "Services to be provided:\n\n";

// The long form.
inline constexpr std::string_view kMasterTitle = "MASTER SERVICES AGREEMENT\n\n";
inline constexpr std::string_view kMasterOpening =
    "This Master Services Agreement (this \"Agreement\") is entered into as of ";
inline constexpr std::string_view kMasterOpeningAfter = " (the \"Effective Date\") by and between ";
inline constexpr std::string_view kCorporationA = ", a ";
inline constexpr std::string_view kCompanyRole = " corporation (\"Company\"), and ";
inline constexpr std::string_view kVendorRole = " corporation (\"Vendor\").\n\n";
inline constexpr std::array<std::string_view, 4> kMasterRecitals = {
    "WHEREAS, Company desires to retain Vendor to provide certain professional services;\n\n",
    "WHEREAS, Vendor has expertise in providing such services and desires to provide services to Company;\n\n",
    "WHEREAS, the parties desire to set forth the terms and conditions pursuant to which Vendor may provide services "
    "to Company;\n\n",
    "NOW, THEREFORE, in consideration of the mutual covenants and agreements set forth herein and for other good and "
    "valuable consideration, the receipt and sufficiency of which are hereby acknowledged, the parties agree as "
    "follows:\n\n",
};

inline constexpr std::array<Clause, 4> kDefinitions = {{
    {"1.1 \"Confidential Information\"",
     "means all non-public information disclosed by one party to the other in connection with this Agreement, "
     "whether oral, written, electronic or visual, including business plans, financial data, customer information, "
     "technical data, trade secrets, software, know-how and the terms of this Agreement, that is marked as "
     "confidential or that a reasonable person would understand to be confidential given its nature and the "
     "circumstances of its disclosure."},
    {"1.2 \"Deliverables\"",
     "means all work product, documents, software, reports and other materials that Vendor delivers to Company under "
     "a Statement of Work."},
    {"1.3 \"Services\"", "means the professional services that Vendor performs for Company under a Statement of Work."},
    {"1.4 \"Statement of Work\" or \"SOW\"",
     "means a document signed by both parties that describes the Services and Deliverables of a project, with its "
     "schedule, fees and other specific terms."},
}};
inline constexpr std::array<Clause, 4> kServicesArticle = {{
    {"2.1 Statements of Work.",
     "Vendor shall perform the Services described in each Statement of Work executed by the parties. Each SOW shall "
     "reference this Agreement and describe the scope of the Services, the Deliverables, the schedule, the fees and "
     "any acceptance criteria. If the terms of an SOW conflict with this Agreement, this Agreement governs unless "
     "the SOW expressly states that a specific provision of this Agreement is to be varied for that SOW only."},
    {"2.2 Performance Standards.",
     "Vendor shall perform the Services in a professional and workmanlike manner, with the degree of skill and care "
     "exercised by leading firms performing similar services, and in compliance with all applicable laws and "
     "Company's reasonable policies communicated to Vendor in writing."},
    {"2.3 Personnel.",
     "Vendor shall assign qualified personnel to perform the Services and shall replace any individual whom Company "
     "reasonably finds unsatisfactory. Vendor remains responsible for the acts and omissions of its personnel and "
     "pays all of their compensation and benefits."},
    {"2.4 Subcontractors.",
     "Vendor shall not subcontract any part of the Services without Company's prior written consent. Vendor remains "
     "fully responsible for the performance of any approved subcontractor as if the work were its own."},
}};
inline constexpr std::array<Clause, 4> kCompensationArticle = {{
    {"3.1 Fees.",
     "Company shall pay Vendor the fees set forth in each Statement of Work. Unless an SOW provides otherwise, Vendor "
     "shall invoice monthly in arrears and Company shall pay undisputed amounts within thirty (30) days."},
    {"3.2 Expenses.",
     "Company shall reimburse Vendor for reasonable travel and out-of-pocket expenses incurred in performing the "
     "Services, provided that such expenses are approved in advance by Company in writing and are invoiced at cost "
     "with receipts and other reasonable supporting documentation."},
    {"3.3 Taxes.",
     "Company shall pay all sales, use and similar taxes arising from the Services, excluding taxes based on "
     "Vendor's net income, property or employees, for which Vendor alone shall be responsible."},
    {"3.4 Late Payment.",
     "Undisputed amounts not paid when due bear interest at the rate of one and one-half percent (1.5%) per month, "
     "or the maximum rate permitted by law."},
}};
inline constexpr std::array<Clause, 3> kIntellectualPropertyArticle = {{
    {"4.1 Work Product.",
     "All Deliverables and other work product created by Vendor for Company under this Agreement shall be works made "
     "for hire and the exclusive property of Company on payment in full. To the extent any work product is not a "
     "work made for hire, Vendor hereby assigns to Company all right, title and interest in it."},
    {"4.2 Pre-Existing IP.",
     "Each party retains all rights in the intellectual property it owned before the Effective Date or develops "
     "independently of this Agreement. Nothing in this Agreement transfers ownership of such pre-existing "
     "intellectual property."},
    {"4.3 Vendor Tools.",
     "Where Vendor's tools, libraries or methods are incorporated in a Deliverable, Vendor grants Company a "
     "perpetual, non-exclusive, royalty-free licence to use them as part of that Deliverable for its business."},
}};
inline constexpr std::array<Clause, 3> kConfidentialityArticle = {{
    {"5.1 Confidentiality Obligations.",
     "Each party shall hold the other party's Confidential Information in confidence, use it solely to perform or "
     "receive the Services, and disclose it only to its employees and advisers who need to know it and who are bound "
     "by confidentiality obligations no less protective than those of this Agreement."},
    {"5.2 Exceptions.",
     "These obligations do not apply to information that: (a) is or becomes publicly available through no fault of "
     "the receiving party; (b) was rightfully known to the receiving party before disclosure; (c) is rightfully "
     "received from a third party without a duty of confidentiality; or (d) is independently developed without use "
     "of the disclosing party's Confidential Information, or must be disclosed by law."},
    {"5.3 Duration.", "The obligations of this Article survive for five (5) years after this Agreement ends."},
}};
inline constexpr std::array<Clause, 4> kWarrantiesArticle = {{
    {"6.1 Mutual Warranties.",
     "Each party represents and warrants that it is duly organized and in good standing, that it has full power and "
     "authority to enter into and perform this Agreement, and that its performance will not breach any other "
     "agreement by which it is bound or violate any applicable law, regulation or order of any court or "
     "governmental authority."},
    {"6.2 Vendor Warranties.",
     "Vendor represents and warrants that the Services will be performed in a professional manner by qualified "
     "personnel, that the Deliverables will conform in all material respects to the specifications of the "
     "applicable SOW, that the Deliverables will not infringe or misappropriate any third party's intellectual "
     "property rights, and that the Deliverables will contain no viruses or other harmful code."},
    {"6.3 Warranty Period.",
     "Vendor shall correct any non-conformity reported by Company within ninety (90) days after acceptance of a "
     "Deliverable, at no additional charge to Company."},
    {"6.4 DISCLAIMER.",
     "EXCEPT AS EXPRESSLY SET FORTH IN THIS AGREEMENT, NEITHER PARTY MAKES ANY OTHER WARRANTY, EXPRESS OR IMPLIED, "
     "INCLUDING ANY WARRANTY OF MERCHANTABILITY OR FITNESS FOR A PARTICULAR PURPOSE."},
}};
inline constexpr std::array<Clause, 3> kIndemnificationArticle = {{
    {"7.1 Vendor Indemnification.",
     "Vendor shall defend, indemnify and hold harmless Company and its officers, directors and employees from all "
     "claims, losses, damages and expenses, including reasonable attorneys' fees, arising from Vendor's breach of "
     "this Agreement, its negligence or wilful misconduct, or any claim that the Deliverables infringe a third "
     "party's rights."},
    {"7.2 Company Indemnification.",
     "Company shall defend, indemnify and hold harmless Vendor and its officers, directors and employees from all "
     "claims, losses, damages and expenses, including reasonable attorneys' fees, arising from Company's breach of "
     "this Agreement or from materials that Company supplies to Vendor for use in the Services."},
    {"7.3 Procedure.",
     "The indemnified party shall give prompt written notice of any claim, allow the indemnifying party to control "
     "its defence and settlement, and provide reasonable cooperation at the indemnifying party's expense. No "
     "settlement may impose any obligation without consent."},
}};
inline constexpr std::array<Clause, 2> kLiabilityArticle = {{
    {"8.1 Consequential Damages.",
     "EXCEPT FOR BREACHES OF CONFIDENTIALITY AND INDEMNIFICATION OBLIGATIONS, NEITHER PARTY SHALL BE LIABLE FOR ANY "
     "INDIRECT, INCIDENTAL, SPECIAL, CONSEQUENTIAL OR PUNITIVE DAMAGES, INCLUDING LOST PROFITS, EVEN IF ADVISED OF "
     "THEIR POSSIBILITY."},
    {"8.2 Cap on Liability.",
     "EXCEPT FOR BREACHES OF CONFIDENTIALITY, INDEMNIFICATION OBLIGATIONS, GROSS NEGLIGENCE OR WILFUL MISCONDUCT, "
     "EACH PARTY'S TOTAL LIABILITY ARISING OUT OF OR RELATING TO THIS AGREEMENT SHALL NOT EXCEED THE TOTAL FEES PAID "
     "OR PAYABLE BY COMPANY TO VENDOR UNDER THIS AGREEMENT DURING THE TWELVE (12) MONTHS PRECEDING THE EVENT THAT "
     "GAVE RISE TO THE CLAIM."},
}};
inline constexpr std::array<Clause, 4> kTermArticle = {{
    {"9.1 Term.",
     "This Agreement begins on the Effective Date and continues for three (3) years. It then renews automatically "
     "for successive one-year terms unless either party gives written notice of non-renewal at least sixty (60) "
     "days before the end of the current term. Each SOW remains in effect for the period it states, even if this "
     "Agreement has expired."},
    {"9.2 Termination for Convenience.",
     "Company may terminate this Agreement or any SOW for convenience on sixty (60) days' written notice to Vendor."},
    {"9.3 Termination for Cause.",
     "Either party may terminate this Agreement or any SOW on written notice if the other party materially breaches "
     "it and fails to cure the breach within thirty (30) days after receiving notice of it, or immediately if the "
     "other party becomes insolvent, makes an assignment for the benefit of creditors or becomes the subject of any "
     "bankruptcy proceeding."},
    {"9.4 Effect of Termination.",
     "On termination, Company shall pay Vendor for Services performed and expenses incurred up to the termination "
     "date, and Vendor shall deliver to Company all completed and partially completed Deliverables. Each party shall "
     "return or destroy the other party's Confidential Information. Articles 4, 5, 7, 8 and 10 survive termination."},
}};
inline constexpr std::string_view kMasterGoverningLawHeading = "10.2 Governing Law.";
inline constexpr std::string_view kMasterGoverningLawBefore =
    "This Agreement shall be governed by and construed in accordance with the laws of the State of ";
inline constexpr std::string_view kMasterGoverningLawAfter = ", without regard to its conflict of laws principles.";
inline constexpr std::string_view kDisputeHeading = "10.3 Dispute Resolution.";
inline constexpr std::string_view kDisputeBefore =
    "Any dispute arising out of or relating to this Agreement that the parties cannot resolve by good-faith "
    "negotiation within thirty (30) days shall be settled by binding arbitration administered by the American "
    "Arbitration Association under its Commercial Arbitration Rules, and judgment on the award may be entered in any "
    "court having jurisdiction. The arbitration shall be conducted in ";
inline constexpr Clause kIndependentContractor{
    "10.1 Independent Contractor.",
    "Vendor is an independent contractor. Nothing in this Agreement creates a partnership, joint venture, agency or "
    "employment relationship, and neither party may bind the other."};
inline constexpr std::array<Clause, 7> kClosingProvisions = {{
    {"10.4 Entire Agreement.",
     "This Agreement, together with all SOWs and exhibits, constitutes the entire agreement between the parties "
     "concerning its subject matter and supersedes all prior and contemporaneous agreements, proposals and "
     "representations."},
    {"10.5 Amendment.",
     "This Agreement may be amended only by a written instrument signed by authorized representatives of both "
     "parties."},
    {"10.6 Assignment.",
     "Neither party may assign this Agreement without the other party's prior written consent, except that either "
     "party may assign it to a successor in a merger, acquisition or sale of substantially all of its assets. Any "
     "other attempted assignment is void. This Agreement binds permitted successors."},
    {"10.7 Severability.",
     "If any provision of this Agreement is held unenforceable, the remaining provisions continue in full force and "
     "effect."},
    {"10.8 Force Majeure.",
     "Neither party is liable for any failure or delay in performance caused by events beyond its reasonable "
     "control, including natural disasters, war, terrorism, labor disputes, epidemics or failures of public "
     "utilities, provided it gives prompt notice."},
    {"10.9 Notices.",
     "All notices under this Agreement shall be in writing and delivered by hand, by a recognized overnight courier "
     "or by certified mail, return receipt requested, to the addresses set forth below, and are effective on "
     "receipt or on refusal of delivery."},
    {"10.10 Insurance.",
     "Vendor shall maintain, during the term of this Agreement, commercial general liability insurance and "
     "professional liability insurance with limits of at least $2,000,000 per occurrence, together with workers' "
     "compensation insurance as required by law, and shall provide certificates of insurance on Company's request."},
}};

inline constexpr std::array<std::string_view, 10> kArticleHeadings = {
    "ARTICLE 1\nDEFINITIONS\n\n",
    "\nARTICLE 2\nSERVICES\n\n",
    "\nARTICLE 3\nCOMPENSATION\n\n",
    "\nARTICLE 4\nINTELLECTUAL PROPERTY\n\n",
    "\nARTICLE 5\nCONFIDENTIALITY\n\n",
    "\nARTICLE 6\nWARRANTIES AND REPRESENTATIONS\n\n",
    "\nARTICLE 7\nINDEMNIFICATION\n\n",
    "\nARTICLE 8\nLIMITATION OF LIABILITY\n\n",
    "\nARTICLE 9\nTERM AND TERMINATION\n\n",
    "\nARTICLE 10\nGENERAL PROVISIONS\n\n",
};

inline constexpr std::string_view kMasterWitness =
    "\n\fIN WITNESS WHEREOF, the parties have executed this Master Services Agreement as of the date first written "
    "above.\n\n";
inline constexpr std::string_view kCompanyLabel = "COMPANY:\n";
inline constexpr std::string_view kVendorLabel = "VENDOR:\n";
inline constexpr std::string_view kCompanySignerTitle = "\nTitle: Chief Executive Officer\nDate: ";
inline constexpr std::string_view kVendorSignerTitle = "\nTitle: President\nDate: ";
inline constexpr std::string_view kSignedAddress = "\nAddress: ";
inline constexpr std::string_view kSignedEmail = "\nEmail: ";

// ---- Service level exhibit -----------------------------------------------------------

// How each run of the exhibit is set.
enum class ExhibitRole { title, numberedHeading, body, priority };
struct ExhibitRun {
    std::string_view text;
    ExhibitRole role;
};

inline constexpr std::array<ExhibitRun, 29> kServiceLevelExhibit = {{
    {"\n\fEXHIBIT A\nSERVICE LEVEL AGREEMENT\n\n", ExhibitRole::title},
    {"This Service Level Agreement (\"SLA\") is incorporated into and forms part of the Master Services "
     "Agreement.\n\n",
     ExhibitRole::body},
    {"1. SERVICE AVAILABILITY\n\n", ExhibitRole::numberedHeading},
    {"Vendor commits to the following availability targets:\n", ExhibitRole::body},
    {"\u2022 Production Systems: 99.9% uptime (excluding scheduled maintenance)\n", ExhibitRole::body},
    {"\u2022 Development/Test Systems: 99.5% uptime\n", ExhibitRole::body},
    {"\u2022 Scheduled Maintenance Window: Sundays 2:00 AM - 6:00 AM EST\n\n", ExhibitRole::body},
    {"2. RESPONSE AND RESOLUTION TIMES\n\n", ExhibitRole::numberedHeading},
    {"Incident Priority Levels:\n\n", ExhibitRole::body},
    {"Priority 1 (Critical): Production system down or major functionality unavailable\n", ExhibitRole::priority},
    {"\u2022 Initial Response: 30 minutes\n\u2022 Resolution Target: 4 hours\n\n", ExhibitRole::body},
    {"Priority 2 (High): Significant functionality impaired\n", ExhibitRole::priority},
    {"\u2022 Initial Response: 2 hours\n\u2022 Resolution Target: 8 hours\n\n", ExhibitRole::body},
    {"Priority 3 (Medium): Minor functionality impaired\n", ExhibitRole::priority},
    {"\u2022 Initial Response: 4 hours\n\u2022 Resolution Target: 24 hours\n\n", ExhibitRole::body},
    {"Priority 4 (Low): General questions or minor issues\n", ExhibitRole::priority},
    {"\u2022 Initial Response: 8 hours\n\u2022 Resolution Target: 48 hours\n\n", ExhibitRole::body},
    {"3. PERFORMANCE METRICS\n\n", ExhibitRole::numberedHeading},
    {"\u2022 Average page load time: < 2 seconds\n", ExhibitRole::body},
    {"\u2022 API response time: < 500ms for 95% of requests\n", ExhibitRole::body},
    {"\u2022 Database query response: < 100ms for 90% of queries\n", ExhibitRole::body},
    {"\u2022 Concurrent user support: Minimum 1,000 users\n\n", ExhibitRole::body},
    {"4. SERVICE CREDITS\n\n", ExhibitRole::numberedHeading},
    {"If Vendor fails to meet the service levels, Company shall be entitled to the following service credits:\n\n",
     ExhibitRole::body},
    {"\u2022 99.5% - 99.89% availability: 5% of monthly fee\n", ExhibitRole::body},
    {"\u2022 99.0% - 99.49% availability: 10% of monthly fee\n", ExhibitRole::body},
    {"\u2022 95.0% - 98.99% availability: 20% of monthly fee\n", ExhibitRole::body},
    {"\u2022 Below 95.0% availability: 30% of monthly fee\n\n", ExhibitRole::body},
    {"Service credits shall be Company's sole remedy for failure to meet service levels.\n", ExhibitRole::body},
}};

}  // namespace stubforge::agreement_texts
