-- The sample database's schema, data and procedures as T-SQL batches, each ended by a line
-- "go". Every row is our own invention (publishers, authors with their addresses, titles
-- with their notes, title authors and sales), covering every column type the server
-- describes (money prices, datetime publication dates, text notes, an image logo, non-ASCII
-- names, NULLs). Built into the server (SampleDatabase.cpp).
create table publishers (
    pub_id char(4) not null,
    pub_name varchar(40) null,
    city varchar(20) null,
    state char(2) null,
    country varchar(30) null,
    founded smalldatetime null,
    logo image null)
create unique index publishers_id on publishers (pub_id)

insert into publishers values ('0101', 'Quillfeather Press', 'Albany', 'NY', 'USA', '1900-01-01 08:00', 0x89504e470d0a1a0a82b70eee7f1a5039)
insert into publishers values ('0144', 'Marrow & Pike', 'Providence', 'RI', 'USA', '1901-02-08 09:13', 0x89504e470d0a1a0abef07ec2347f066ed0)
insert into publishers values ('0203', 'Lanternfish Books', 'Sacramento', 'CA', 'USA', '1902-03-15 10:26', null)
insert into publishers values ('0250', 'Cobalt Orchard Publishing', 'Milwaukee', 'WI', 'USA', '1908-04-22 11:39', 0x89504e470d0a1a0a8f5dc7512447e340430002)
insert into publishers values ('0317', 'Thistledown House', 'Austin', 'TX', 'USA', null, 0x89504e470d0a1a0a6b6e545594a065685d64c498)
insert into publishers values ('0388', 'Brückner & Kessel', 'Düsseldorf', null, 'Germany', '1920-06-08 13:05', null)
insert into publishers values ('0402', 'Wrenfield Books', 'Buffalo', 'NY', 'USA', '1926-07-15 14:18', 0x89504e470d0a1a0a0bb8d4544a8721a99a01ad219eb5)
insert into publishers values ('0459', 'Éditions du Pré Vert', 'Lyon', null, 'France', '1932-08-22 15:31', 0x89504e470d0a1a0a9cf6a15ef6f15a1d830bb7ce09d6bb)
insert into publishers values ('0533', 'Saltmarsh Press', 'Eugene', 'OR', 'USA', '1938-09-01 16:44', null)
insert into publishers values ('0571', 'Cedarline Editions', 'Spokane', 'WA', 'USA', null, 0x89504e470d0a1a0ac004e7175c643c7decb0b580ec37bc9712)
insert into publishers values ('0626', 'Ashgrove & Daughters', 'Bristol', null, 'United Kingdom', '1950-11-15 09:10', 0x89504e470d0a1a0add2e6aaeb94bae8d2f9fa29c5a284c9ef752)
insert into publishers values ('0690', 'Fjellheim Forlag', 'Bergen', null, 'Norway', '1956-12-22 10:23', null)
insert into publishers values ('0745', 'Bluestem Books', 'Lincoln', 'NE', 'USA', '1962-01-01 11:36', 0x89504e470d0a1a0a1829cf1079b080e9d74a1c10fcab6a4243d33656)
insert into publishers values ('0812', 'Oyster Point House', 'Annapolis', 'MD', 'USA', '1968-02-08 12:49', 0x89504e470d0a1a0adebe4c1ed79648e856e8f9a2f58c95f0ce4b39c15b)
insert into publishers values ('0868', 'Mesa Lantern Press', 'Flagstaff', 'AZ', 'USA', null, null)
insert into publishers values ('0925', 'Northbirch Publishing', 'Winnipeg', null, 'Canada', '1980-04-22 14:15', 0x89504e470d0a1a0affad5c2dfb8bb820b6119cba8ff88796ae5b05f280a68c)
insert into publishers values ('0983', 'Fogline Media', 'Fresno', 'CA', 'USA', '1986-05-01 15:28', 0x89504e470d0a1a0aed93b6b28cb0d1b358e6baab485565b9f49028d557d79a8a)
insert into publishers values ('1047', 'Granite Step Books', 'Burlington', 'VT', 'USA', '1992-06-08 16:41', null)
insert into publishers values ('1102', 'Grünquell Verlag', 'Graz', null, 'Austria', '1998-07-15 08:54', 0x89504e470d0a1a0a0e6451e15c705c15f173541b4438a25cf76312d4eeb3c2246879)
insert into publishers values ('1169', 'Editora Água Clara', 'Curitiba', null, 'Brazil', null, 0x89504e470d0a1a0abf00b3cf8ed13abf129a3097ad96b442d6d1bdef4850c3f465442e)
insert into publishers values ('1230', 'Tidepool Academic', null, null, null, '2010-09-01 10:20', null)
go
create table authors (
    au_id varchar(11) not null,
    au_lname varchar(40) not null,
    au_fname varchar(20) not null,
    phone char(12) not null,
    address varchar(40) null,
    city varchar(20) null,
    state char(2) null,
    zip char(5) null,
    contract bit not null,
    birth_date date null,
    native_name univarchar(40) null,
    primary key (au_id))

insert into authors values ('118-31-2007', 'Hollowell', 'Petra', '209 555-1200', '12 Larkspur Ln.', 'Fremont', 'CA', '94536', 1, '1940-01-01', null)
insert into authors values ('147-32-2318', 'Quenneville', 'Rafael', '216 555-1349', '48 Alder Ct.', 'Bend', 'OR', '97701', 1, '1942-06-12', null)
insert into authors values ('176-33-2629', 'Okonkwo', 'Adaeze', '223 555-1498', '233 Sorrel Way', 'Modesto', 'CA', '95350', 1, '1944-11-23', null)
insert into authors values ('205-34-2940', 'Lindqvist', 'Tobias', '230 555-1647', '310 Wicker St.', 'Muncie', 'IN', '47303', 1, null, null)
insert into authors values ('234-35-3251', 'Varga', 'Ilona', '237 555-1796', '402 Hemlock Rd.', 'Kalamazoo', 'MI', '49007', 1, '1948-09-17', null)
insert into authors values ('263-36-3562', 'Pemberton', 'Odile', '244 555-1945', '515 Marigold Ave.', 'Visalia', 'CA', '93291', 0, '1950-02-28', 'Odile Pemberton')
insert into authors values ('292-37-3873', 'Achterberg', 'Wim', '251 555-2094', null, 'Knoxville', 'TN', '37902', 1, '1952-07-11', null)
insert into authors values ('321-38-4184', 'Castellanos', 'Ximena', '258 555-2243', '691 Juniper Pl.', 'Eureka', 'CA', '95501', 1, null, null)
insert into authors values ('350-39-4495', 'Thornbury', 'Calvin', '265 555-2392', '788 Ash Row', 'Wichita', 'KS', '67202', 1, '1956-05-05', null)
insert into authors values ('379-40-4806', 'Nakashima', 'Reiko', '272 555-2541', '884 Briar St.', 'Frederick', 'MD', '21701', 1, '1958-10-16', null)
insert into authors values ('408-41-5117', 'Duchamp', 'Lionel', '279 555-2690', '981 Cove Rd.', 'Ogden', 'UT', '84401', 1, '1960-03-27', null)
insert into authors values ('437-42-5428', 'Fairweather', 'Mina', '286 555-2839', '1078 Vista Dr.', 'Chico', 'CA', '95926', 0, null, null)
insert into authors values ('466-43-5739', 'Abernathy-Cole', 'Desmond', '293 555-2988', '1175 Quarry Ln.', 'Merced', 'CA', '95340', 1, '1964-01-21', null)
insert into authors values ('495-44-6050', 'Rasmussen', 'Greta', '300 555-3137', null, 'Redding', 'CA', '96001', 1, '1966-06-04', null)
insert into authors values ('524-45-6361', 'O''Driscoll', 'Fintan', '307 555-3286', '1369 Heron Way', 'Napa', 'CA', '94559', 1, '1968-11-15', null)
insert into authors values ('553-46-6672', 'Villeneuve', 'Margot', '314 555-3435', '1466 Canyon Rd.', 'Fremont', 'CA', '94536', 1, null, null)
insert into authors values ('582-47-6983', 'Brannigan', 'Hugo', '321 555-3584', '1563 Fern St.', 'Bend', 'OR', '97701', 1, '1972-09-09', null)
insert into authors values ('611-48-7294', 'Brannigan', 'Ivy', '328 555-3733', '1660 Poppy Ave.', 'Modesto', 'CA', '95350', 0, '1974-02-20', null)
insert into authors values ('640-49-7605', 'Ferreira', 'Tomas', '335 555-3882', '1757 Orchard Rd.', 'Muncie', 'IN', '47303', 1, '1976-07-03', null)
insert into authors values ('669-50-7916', 'Kowalczyk', 'Dorota', '342 555-4031', '1854 Mill St.', 'Kalamazoo', 'MI', '49007', 1, null, null)
insert into authors values ('698-51-8227', 'Strand', 'Elias', '349 555-4180', null, 'Visalia', 'CA', '93291', 1, '1980-05-25', null)
insert into authors values ('727-52-8538', 'Halloran', 'Bridget', '356 555-4329', '2048 Cedar Ave.', 'Knoxville', 'TN', '37902', 1, '1982-10-08', null)
insert into authors values ('756-53-8849', 'Takeda', 'Haruki', '363 555-4478', '2145 Garnet Dr.', 'Eureka', 'CA', '95501', 1, '1984-03-19', '武田 春樹')
insert into authors values ('785-54-9160', 'Ibáñez', 'Marisol', '370 555-4627', '2242 Willow Blvd.', 'Wichita', 'KS', '67202', 0, null, 'Marisol Ibáñez')
insert into authors values ('814-55-9471', 'Groß', 'Henrike', '377 555-4776', '2339 Linden St.', 'Frederick', 'MD', '21701', 1, '1988-01-13', 'Henrike Groß')
go
create table titles (
    title_id varchar(6) not null,
    title varchar(80) not null,
    type char(12) not null,
    pub_id char(4) null,
    price money null,
    advance money null,
    royalty smallint null,
    ytd_sales int null,
    notes text null,
    pubdate datetime not null,
    rating decimal(3,1) null,
    weight_kg real null,
    isbn bigint null,
    list_code numeric(30,0) null,
    primary key (title_id))

insert into titles values ('FI1000', 'A Ledger for Every Season', 'finance', '0101', 2.99, 1000.00, 10, 100, 'A practical look at a ledger for every season, with worked examples and an index. ', '1985-01-01 09:00:00.000', 1.0, 0.25, 9780000000000, 12345678901234567890)
insert into titles values ('CK1373', 'Soup Stock and Stock Markets: Two Kinds of Patience', 'cookery', '0144', 9.95, 4000.00, 12, 4191, 'A practical look at soup stock and stock markets: two kinds of patience, with worked examples and an index. A practical look at soup stock and stock markets: two kinds of patience, with worked examples and an index. ', '1986-02-04 10:07:11.003', null, 0.29, 9780007919331, 100000000000000000001)
insert into titles values ('CO1746', 'Keyboards Without Cramps!', 'computing', '0203', 16.00, 7000.00, 14, 8282, 'A practical look at keyboards without cramps!, with worked examples and an index. A practical look at keyboards without cramps!, with worked examples and an index. A practical look at keyboards without cramps!, with worked examples and an index. ', '1987-03-07 11:14:22.007', 3.4, 0.32, 9780015838662, null)
insert into titles values ('MI2119', 'Getting Along with Your Printer', 'mind', '0250', 23.49, 10000.00, 16, 12373, null, '1988-04-10 12:21:33.010', 4.1, 0.36, 9780023757993, 12345678901234567893)
insert into titles values ('KI2492', 'Orchard Suppers', 'kitchen', '0317', 2.50, 13000.00, 18, 16464, 'A practical look at orchard suppers, with worked examples and an index. A practical look at orchard suppers, with worked examples and an index. ', '1989-05-13 13:28:44.500', 5.8, 0.40, 9780031677324, 100000000000000000004)
insert into titles values ('UN2865', 'Dinner in Eleven Minutes', 'UNSORTED', '0388', 9.75, 1000.00, 20, 20555, 'A practical look at dinner in eleven minutes, with worked examples and an index. A practical look at dinner in eleven minutes, with worked examples and an index. A practical look at dinner in eleven minutes, with worked examples and an index. ', '1990-06-16 14:35:55.997', null, null, 9780039596655, null)
insert into titles values ('HI3238', 'The Curious Palate', 'history', '0402', 16.99, 4000.00, 22, 2646, 'A practical look at the curious palate, with worked examples and an index. ', '1991-07-19 15:42:06.000', 7.2, 0.47, null, 12345678901234567896)
insert into titles values ('TR3611', 'Menus for Anxious Hosts?', 'travel', '0459', 23.95, 7000.00, 24, 6737, 'A practical look at menus for anxious hosts?, with worked examples and an index. A practical look at menus for anxious hosts?, with worked examples and an index. ', '1992-08-22 16:49:17.003', 8.9, 0.51, 9780055435317, 100000000000000000007)
insert into titles values ('FI3984', 'Small Change, Big Plans', 'finance', '0533', null, null, null, null, null, '1993-09-25 09:56:28.007', 9.6, 0.55, 9780063354648, null)
insert into titles values ('CK4357', 'Letters to a Young Programmer', 'cookery', '0571', 9.49, 13000.00, 12, 14919, 'A practical look at letters to a young programmer, with worked examples and an index. ', '1994-10-28 10:03:39.010', null, 0.58, 9780071273979, 12345678901234567899)
insert into titles values ('CO4730', 'Habits of Careful Readers AND Hasty Ones: A Field Study', 'computing', null, 16.50, 1000.00, 14, 19010, 'A practical look at habits of careful readers and hasty ones: a field study, with worked examples and an index. A practical look at habits of careful readers and hasty ones: a field study, with worked examples and an index. ', '1995-11-03 11:10:50.500', 2.0, 0.62, 9780079193310, 100000000000000000010)
insert into titles values ('MI5103', 'Why Do We Remember Smells?', 'mind', '0690', 23.75, 4000.00, 16, 1101, 'A practical look at why do we remember smells?, with worked examples and an index. A practical look at why do we remember smells?, with worked examples and an index. A practical look at why do we remember smells?, with worked examples and an index. ', '1996-12-06 12:17:01.997', 3.7, null, 9780087112641, null)
insert into titles values ('KI5476', 'The Patient Stew', 'kitchen', '0745', 2.99, 7000.00, 18, 5192, 'A practical look at the patient stew, with worked examples and an index. ', '1997-01-09 13:24:12.000', 4.4, 0.69, 9780095031972, 12345678901234567892)
insert into titles values ('UN5849', 'Unsorted Notes: Four Years of Kitchen Experiments', 'UNSORTED', '0812', 9.95, 10000.00, 20, 9283, null, '1998-02-12 14:31:23.003', null, 0.73, null, 100000000000000000013)
insert into titles values ('HI6222', 'Measuring the Unmeasurable: A Gentle Method', 'history', '0868', 16.00, 13000.00, 22, 13374, 'A practical look at measuring the unmeasurable: a gentle method, with worked examples and an index. A practical look at measuring the unmeasurable: a gentle method, with worked examples and an index. A practical look at measuring the unmeasurable: a gentle method, with worked examples and an index. ', '1999-03-15 15:38:34.007', 6.8, 0.77, 9780110870634, null)
insert into titles values ('TR6595', 'Fennel, Sorrel, and Dill: Recipes from the Salt Coast', 'travel', '0925', 23.49, 1000.00, 24, 17465, 'A practical look at fennel, sorrel, and dill: recipes from the salt coast, with worked examples and an index. ', '2000-04-18 16:45:45.010', 7.5, 0.80, 9780118789965, 12345678901234567895)
insert into titles values ('FI6968', 'Thirty Winters at the Ferry Landing', 'finance', '0983', 2.50, 4000.00, 10, 21556, 'A practical look at thirty winters at the ferry landing, with worked examples and an index. A practical look at thirty winters at the ferry landing, with worked examples and an index. ', '2001-05-21 09:52:56.500', 8.2, 0.84, 9780126709296, 100000000000000000016)
insert into titles values ('CK7341', 'Noodles at Midnight?', 'cookery', '1047', null, null, null, null, 'A practical look at noodles at midnight?, with worked examples and an index. A practical look at noodles at midnight?, with worked examples and an index. A practical look at noodles at midnight?, with worked examples and an index. ', '2002-06-24 10:59:07.997', null, null, 9780134628627, null)
insert into titles values ('CO7714', 'Tides of the Northern Coast', 'computing', '1102', 16.99, 10000.00, 14, 7738, null, '2003-07-27 11:06:18.000', 1.6, 0.92, 9780142547958, 12345678901234567898)
insert into titles values ('MI8087', 'A Field Guide to Prairie Grasses', 'mind', '1169', 23.95, 13000.00, 16, 11829, 'A practical look at a field guide to prairie grasses, with worked examples and an index. A practical look at a field guide to prairie grasses, with worked examples and an index. ', '2004-08-02 12:13:29.003', 2.3, 0.95, 9780150467289, 100000000000000000019)
insert into titles values ('KI8460', 'Quiet Harbors: Essays', 'kitchen', '1230', 2.00, 1000.00, 18, 15920, 'A practical look at quiet harbors: essays, with worked examples and an index. A practical look at quiet harbors: essays, with worked examples and an index. A practical look at quiet harbors: essays, with worked examples and an index. ', '2005-09-05 13:20:40.007', 3.0, 0.99, null, null)
insert into titles values ('UN8833', 'The Lighthouse Keeper''s Almanac', 'UNSORTED', null, 9.49, 4000.00, 20, 20011, 'A practical look at the lighthouse keeper''s almanac, with worked examples and an index. ', '2006-10-08 14:27:51.010', null, 1.03, 9780166305951, 12345678901234567891)
insert into titles values ('HI9206', 'Maple Syrup Through the Seasons', 'history', '0144', 16.50, 7000.00, 22, 2102, 'A practical look at maple syrup through the seasons, with worked examples and an index. A practical look at maple syrup through the seasons, with worked examples and an index. ', '2007-11-11 15:34:02.500', 5.4, 1.06, 9780174225282, 100000000000000000022)
insert into titles values ('TR9579', 'Stone and Water: A History of Quarries', 'travel', '0203', 23.75, 10000.00, 24, 6193, null, '2008-12-14 16:41:13.997', 6.1, null, 9780182144613, null)
insert into titles values ('FI9952', 'Datenbanken für Einsteiger', 'finance', '0250', 2.99, 13000.00, 10, 10284, 'A practical look at datenbanken für einsteiger, with worked examples and an index. ', '2009-01-17 09:48:24.000', 7.8, 1.14, 9780190063944, 12345678901234567894)
insert into titles values ('CK1325', 'Receitas da Água Clara', 'cookery', '0317', 9.95, 1000.00, 12, 14375, 'A practical look at receitas da água clara, with worked examples and an index. A practical look at receitas da água clara, with worked examples and an index. ', '2010-02-20 10:55:35.003', null, 1.17, 9780197983275, 100000000000000000025)
insert into titles values ('CO1698', 'Understanding Fixed-Point Arithmetic', 'computing', '0388', null, null, null, null, 'A practical look at understanding fixed-point arithmetic, with worked examples and an index. A practical look at understanding fixed-point arithmetic, with worked examples and an index. A practical look at understanding fixed-point arithmetic, with worked examples and an index. ', '2011-03-23 11:02:46.007', 9.2, 1.21, 9780205902606, null)
insert into titles values ('MI2071', 'Concurrency Without Tears', 'mind', '0402', 23.49, 7000.00, 16, 557, 'A practical look at concurrency without tears, with worked examples and an index. ', '2012-04-26 12:09:57.010', 1.9, 1.25, null, 12345678901234567897)
insert into titles values ('KI2444', 'The Art of the Stored Procedure', 'kitchen', '0459', 2.50, 10000.00, 18, 4648, null, '2013-05-01 13:16:08.500', 2.6, 1.29, 9780221741268, 100000000000000000028)
insert into titles values ('UN2817', 'Small Business Accounting Made Plain', 'UNSORTED', '0533', 9.75, 13000.00, 20, 8739, 'A practical look at small business accounting made plain, with worked examples and an index. A practical look at small business accounting made plain, with worked examples and an index. A practical look at small business accounting made plain, with worked examples and an index. ', '2014-06-04 14:23:19.997', null, null, 9780229660599, null)
go
create table titleauthor (
    au_id varchar(11) not null,
    title_id varchar(6) not null,
    au_ord tinyint null,
    royaltyper int null,
    primary key (au_id, title_id))

insert into titleauthor values ('118-31-2007', 'FI1000', 1, 100)
insert into titleauthor values ('321-38-4184', 'CK1373', 1, 100)
insert into titleauthor values ('524-45-6361', 'CO1746', 1, 100)
insert into titleauthor values ('727-52-8538', 'MI2119', 1, 100)
insert into titleauthor values ('205-34-2940', 'KI2492', 1, 100)
insert into titleauthor values ('408-41-5117', 'UN2865', 1, 100)
insert into titleauthor values ('611-48-7294', 'HI3238', 1, 100)
insert into titleauthor values ('814-55-9471', 'TR3611', 1, 100)
insert into titleauthor values ('292-37-3873', 'FI3984', 1, 100)
insert into titleauthor values ('495-44-6050', 'CK4357', 1, 100)
insert into titleauthor values ('698-51-8227', 'CO4730', 1, 100)
insert into titleauthor values ('176-33-2629', 'MI5103', 1, 100)
insert into titleauthor values ('379-40-4806', 'KI5476', 1, 100)
insert into titleauthor values ('582-47-6983', 'UN5849', 1, 100)
insert into titleauthor values ('785-54-9160', 'HI6222', 1, 100)
insert into titleauthor values ('263-36-3562', 'TR6595', 1, 100)
insert into titleauthor values ('466-43-5739', 'FI6968', 1, 100)
insert into titleauthor values ('669-50-7916', 'CK7341', 1, 100)
insert into titleauthor values ('147-32-2318', 'CO7714', 1, 100)
insert into titleauthor values ('350-39-4495', 'MI8087', 1, 100)
insert into titleauthor values ('553-46-6672', 'KI8460', 1, 100)
insert into titleauthor values ('756-53-8849', 'UN8833', 1, 100)
insert into titleauthor values ('234-35-3251', 'HI9206', 1, 100)
insert into titleauthor values ('437-42-5428', 'TR9579', 1, 100)
insert into titleauthor values ('640-49-7605', 'FI9952', 1, 100)
insert into titleauthor values ('118-31-2007', 'CK1325', 1, 100)
insert into titleauthor values ('321-38-4184', 'CO1698', 1, 100)
insert into titleauthor values ('524-45-6361', 'MI2071', 1, 100)
insert into titleauthor values ('727-52-8538', 'KI2444', 1, 100)
insert into titleauthor values ('205-34-2940', 'UN2817', 1, 100)
insert into titleauthor values ('408-41-5117', 'FI1000', 2, 40)
insert into titleauthor values ('611-48-7294', 'CK1373', 2, 40)
insert into titleauthor values ('814-55-9471', 'CO1746', 2, 40)
insert into titleauthor values ('292-37-3873', 'MI2119', 2, 40)
insert into titleauthor values ('495-44-6050', 'KI2492', 2, 40)
insert into titleauthor values ('698-51-8227', 'UN2865', 2, 40)
insert into titleauthor values ('176-33-2629', 'HI3238', 2, 40)
insert into titleauthor values ('379-40-4806', 'TR3611', 2, 40)
insert into titleauthor values ('582-47-6983', 'FI3984', 2, 40)
insert into titleauthor values ('785-54-9160', 'CK4357', 2, 40)
go
create table sales (
    stor_id char(4) not null,
    ord_num varchar(20) not null,
    ord_date datetime not null,
    qty smallint not null,
    payterms varchar(12) not null,
    title_id varchar(6) not null,
    discount smallmoney null,
    shipped smalldatetime null,
    ship_time time null,
    unit_price float null,
    order_code varbinary(8) null,
    primary key (stor_id, ord_num, title_id))

insert into sales values ('2011', 'R1001', '1992-01-01 08:00:00:000', 5, 'Due 60 days', 'FI1000', null, '1992-02-01 10:00:29.998', '08:00:00.000', 9.990000, 0xa0000000)
insert into sales values ('2047', 'k207b', '1993-02-06 09:07:13:037', 12, 'Due 30 days', 'TR3611', 1.1237, '1993-03-06 11:03:29.998', '09:11:17.003', 11.323333, null)
insert into sales values ('3160', 'B3318', '1994-03-11 10:14:26:074', 19, 'ON receipt', 'HI6222', 2.2474, '1994-04-11 12:06:29.998', null, 12.656667, 0xa003c482)
insert into sales values ('4172', 'WX5510.2', '1995-04-16 11:21:39:111', 26, 'Due 30 days', 'UN8833', 0.3711, null, '11:33:51.000', 13.990000, 0xa005a6c3)
insert into sales values ('5283', 'H6040', '1992-05-21 12:28:52:148', 33, 'Due 60 days', 'KI2444', 1.4948, '1992-06-21 14:12:29.998', '12:44:08.003', 15.323333, 0xa0078904)
insert into sales values ('6394', 'M7152', '1993-06-26 13:35:05:185', 40, 'Due 30 days', 'UN2865', null, '1993-07-26 15:15:29.998', '13:55:25.007', 16.656667, 0xa0096b45)
insert into sales values ('2011', 'T820455', '1994-07-03 14:42:18:222', 47, 'ON receipt', 'KI5476', 0.7422, '1994-08-03 16:18:29.998', null, 17.990000, 0xa00b4d86)
insert into sales values ('2047', 'M881', '1995-08-08 15:49:31:259', 54, 'Due 30 days', 'MI8087', 1.8659, '1995-09-08 17:21:29.998', '15:17:59.003', null, null)
insert into sales values ('3160', 'Z404', '1992-09-13 16:56:44:296', 61, 'Due 60 days', 'CO1698', 2.9896, '1992-10-13 10:24:29.998', '16:28:16.007', 20.656666, 0xa00f1208)
insert into sales values ('4172', 'YY3107', '1993-10-18 17:03:57:333', 68, 'Due 30 days', 'MI2119', 0.1133, '1993-11-18 11:27:29.998', '08:39:33.000', 21.990000, 0xa010f449)
insert into sales values ('5283', 'LT672', '1994-11-23 08:10:10:370', 5, 'ON receipt', 'CO4730', null, null, null, 23.323333, 0xa012d68a)
insert into sales values ('6394', '518KK307', '1995-12-28 09:17:23:407', 12, 'Due 30 days', 'CK7341', 2.3607, '1995-01-28 13:33:29.998', '10:01:07.007', 24.656666, 0xa014b8cb)
insert into sales values ('2011', 'R1001-1', '1992-01-05 10:24:36:444', 19, 'Due 60 days', 'FI9952', 0.4844, '1992-02-05 14:36:29.998', '11:12:24.000', 25.990000, 0xa0169b0c)
insert into sales values ('2047', 'k207b-1', '1993-02-10 11:31:49:481', 26, 'Due 30 days', 'CK1373', 1.6081, '1993-03-10 15:39:29.998', '12:23:41.003', 27.323333, null)
insert into sales values ('3160', 'B3318-1', '1994-03-15 12:38:02:518', 33, 'ON receipt', 'FI3984', 2.7318, '1994-04-15 16:42:29.998', null, 28.656666, 0xa01a5f8e)
insert into sales values ('4172', 'WX5510.2-1', '1995-04-20 13:45:15:555', 40, 'Due 30 days', 'TR6595', null, '1995-05-20 17:45:29.998', '14:45:15.000', null, 0xa01c41cf)
insert into sales values ('5283', 'H6040-1', '1992-05-25 14:52:28:592', 47, 'Due 60 days', 'HI9206', 1.9792, '1992-06-25 10:48:29.998', '15:56:32.003', 31.323333, 0xa01e2410)
insert into sales values ('6394', 'M7152-1', '1993-06-02 15:59:41:629', 54, 'Due 30 days', 'UN2817', 2.1029, null, '16:07:49.007', 32.656666, 0xa0200651)
insert into sales values ('2011', 'T820455-1', '1994-07-07 16:06:54:666', 61, 'ON receipt', 'HI3238', 0.2266, '1994-08-07 12:54:29.998', null, 33.989999, 0xa021e892)
insert into sales values ('2047', 'M881-1', '1995-08-12 17:13:07:703', 68, 'Due 30 days', 'UN5849', 1.3503, '1995-09-12 13:57:29.998', '09:29:23.003', 35.323333, null)
insert into sales values ('3160', 'Z404-1', '1992-09-17 08:20:20:740', 5, 'Due 60 days', 'KI8460', null, '1992-10-17 14:00:29.998', '10:40:40.007', 36.656666, 0xa025ad14)
insert into sales values ('4172', 'YY3107-1', '1993-10-22 09:27:33:777', 12, 'Due 30 days', 'MI2071', 0.5977, '1993-11-22 15:03:29.998', '11:51:57.000', 37.989999, 0xa0278f55)
insert into sales values ('5283', 'LT672-1', '1994-11-27 10:34:46:814', 19, 'ON receipt', 'KI2492', 1.7214, '1994-12-27 16:06:29.998', null, 39.323333, 0xa0297196)
insert into sales values ('6394', '518KK307-1', '1995-12-04 11:41:59:851', 26, 'Due 30 days', 'MI5103', 2.8451, '1995-01-04 17:09:29.998', '13:13:31.007', null, 0xa02b53d7)
insert into sales values ('2011', 'R1001-2', '1992-01-09 12:48:12:888', 33, 'Due 60 days', 'CO7714', 0.9688, null, '14:24:48.000', 41.989999, 0xa02d3618)
insert into sales values ('2047', 'k207b-2', '1993-02-14 13:55:25:925', 40, 'Due 30 days', 'CK1325', null, '1993-03-14 11:15:29.998', '15:35:05.003', 43.323333, null)
insert into sales values ('3160', 'B3318-2', '1994-03-19 14:02:38:962', 47, 'ON receipt', 'CO1746', 2.2162, '1994-04-19 12:18:29.998', null, 44.656666, 0xa030fa9a)
insert into sales values ('4172', 'WX5510.2-2', '1995-04-24 15:09:51:999', 54, 'Due 30 days', 'CK4357', 0.3399, '1995-05-24 13:21:29.998', '08:57:39.000', 45.989999, 0xa032dcdb)
insert into sales values ('5283', 'H6040-2', '1992-05-01 16:16:04:036', 61, 'Due 60 days', 'FI6968', 1.4636, '1992-06-01 14:24:29.998', '09:08:56.003', 47.323332, 0xa034bf1c)
insert into sales values ('6394', 'M7152-2', '1993-06-06 17:23:17:073', 68, 'Due 30 days', 'TR9579', 2.5873, '1993-07-06 15:27:29.998', '10:19:13.007', 48.656666, 0xa036a15d)
insert into sales values ('2011', 'T820455-2', '1994-07-11 08:30:30:110', 5, 'ON receipt', 'FI1000', null, '1994-08-11 16:30:29.998', null, 49.989999, 0xa038839e)
insert into sales values ('2047', 'M881-2', '1995-08-16 09:37:43:147', 12, 'Due 30 days', 'TR3611', 1.8347, null, '12:41:47.003', null, null)
insert into sales values ('3160', 'Z404-2', '1992-09-21 10:44:56:184', 19, 'Due 60 days', 'HI6222', 2.9584, '1992-10-21 10:36:29.998', '13:52:04.007', 52.656666, 0xa03c4820)
insert into sales values ('4172', 'YY3107-2', '1993-10-26 11:51:09:221', 26, 'Due 30 days', 'UN8833', 0.0821, '1993-11-26 11:39:29.998', '14:03:21.000', 53.989999, 0xa03e2a61)
insert into sales values ('5283', 'LT672-2', '1994-11-03 12:58:22:258', 33, 'ON receipt', 'KI2444', 1.2058, '1994-12-03 12:42:29.998', null, 55.323332, 0xa0400ca2)
insert into sales values ('6394', '518KK307-2', '1995-12-08 13:05:35:295', 40, 'Due 30 days', 'UN2865', null, '1995-01-08 13:45:29.998', '16:25:55.007', 56.656666, 0xa041eee3)
go
create procedure titles_by_publisher @pub_id char(4)
as
    /* The titles of one publisher, newest first. */
    select title_id, title, type, price, pubdate
    from titles
    where pub_id = @pub_id
    order by pubdate desc
go
create procedure title_sales
    @title_id varchar(6),
    @total_qty int output,
    @revenue money output
as
begin
    /* Returns 1 when the title does not exist, 0 otherwise. */
    if not exists (select 1 from titles where title_id = @title_id)
    begin
        select @total_qty = 0, @revenue = 0
        return 1
    end
    select @total_qty = isnull(sum(qty), 0) from sales where title_id = @title_id
    select @revenue = isnull(sum(s.qty * t.price), 0)
    from sales s, titles t
    where s.title_id = @title_id and t.title_id = s.title_id
    return 0
end
go
create procedure authors_in_state @state char(2) = 'CA', @count int = null output
as
    select @count = count(*) from authors where state = @state
    select au_id, au_lname, au_fname, city, contract
    from authors
    where state = @state
    order by au_lname, au_fname
    return @count
go
create procedure raise_prices @type char(12), @percent numeric(5,2) = 10.00
as
    if @percent <= 0 or @percent > 100
    begin
        raiserror 20001 'The percentage must be between 0 and 100.'
        return -1
    end
    update titles set price = price * (1 + @percent / 100) where type = @type and price is not null
    print 'Prices raised for %1! titles.', @@rowcount
    return 0
go
