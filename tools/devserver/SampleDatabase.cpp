// The sample database's schema, data and procedures as T-SQL batches. The rows are made up:
// publishers, authors, titles, title authors and sales, covering every column type the server
// describes (money prices, datetime publication dates, text notes, an image logo, NULLs).
#include "SampleDatabase.h"

namespace devserver {

const std::vector<std::string>& sampleDatabaseBatches() {
    static const std::vector<std::string> kBatches = {
        R"sql(create table publishers (
    pub_id char(4) not null,
    pub_name varchar(40) null,
    city varchar(20) null,
    state char(2) null,
    country varchar(30) null,
    founded smalldatetime null,
    logo image null)
create unique index publishers_id on publishers (pub_id)

insert into publishers values ('0736', 'New Moon Books', 'Boston', 'MA', 'USA', '1890-01-01 08:00', 0x89504e470d0a1a0a82b70eee7f1a5039)
insert into publishers values ('0877', 'Binnet & Hardley', 'Washington', 'DC', 'USA', '1896-02-08 09:13', 0x89504e470d0a1a0abef07ec2347f066ed0)
insert into publishers values ('1389', 'Algodata Infosystems', 'Berkeley', 'CA', 'USA', '1902-03-15 10:26', null)
insert into publishers values ('1622', 'Five Lakes Publishing', 'Chicago', 'IL', 'USA', '1908-04-22 11:39', 0x89504e470d0a1a0a8f5dc7512447e340430002)
insert into publishers values ('1756', 'Ramona Publishers', 'Dallas', 'TX', 'USA', null, 0x89504e470d0a1a0a6b6e545594a065685d64c498)
insert into publishers values ('9901', 'GGG&G', 'München', null, 'Germany', '1920-06-08 13:05', null)
insert into publishers values ('9952', 'Scootney Books', 'New York', 'NY', 'USA', '1926-07-15 14:18', 0x89504e470d0a1a0a0bb8d4544a8721a99a01ad219eb5)
insert into publishers values ('9999', 'Lucerne Publishing', 'Paris', null, 'France', '1932-08-22 15:31', 0x89504e470d0a1a0a9cf6a15ef6f15a1d830bb7ce09d6bb)
insert into publishers values ('0321', 'Harbor Light Press', 'Portland', 'OR', 'USA', '1938-09-01 16:44', null)
insert into publishers values ('0456', 'Blue Heron Editions', 'Seattle', 'WA', 'USA', null, 0x89504e470d0a1a0ac004e7175c643c7decb0b580ec37bc9712)
insert into publishers values ('0512', 'Copperfield & Sons', 'London', null, 'United Kingdom', '1950-11-15 09:10', 0x89504e470d0a1a0add2e6aaeb94bae8d2f9fa29c5a284c9ef752)
insert into publishers values ('0620', 'Nordlys Forlag', 'Oslo', null, 'Norway', '1956-12-22 10:23', null)
insert into publishers values ('0777', 'Prairie Wind Books', 'Omaha', 'NE', 'USA', '1962-01-01 11:36', 0x89504e470d0a1a0a1829cf1079b080e9d74a1c10fcab6a4243d33656)
insert into publishers values ('0815', 'Tidewater House', 'Norfolk', 'VA', 'USA', '1968-02-08 12:49', 0x89504e470d0a1a0adebe4c1ed79648e856e8f9a2f58c95f0ce4b39c15b)
insert into publishers values ('1001', 'Sierra Vista Press', 'Tucson', 'AZ', 'USA', null, null)
insert into publishers values ('1120', 'Maple Leaf Publishing', 'Toronto', null, 'Canada', '1980-04-22 14:15', 0x89504e470d0a1a0affad5c2dfb8bb820b6119cba8ff88796ae5b05f280a68c)
insert into publishers values ('1234', 'Golden Gate Media', 'San Francisco', 'CA', 'USA', '1986-05-01 15:28', 0x89504e470d0a1a0aed93b6b28cb0d1b358e6baab485565b9f49028d557d79a8a)
insert into publishers values ('1450', 'Old Quarry Books', 'Montpelier', 'VT', 'USA', '1992-06-08 16:41', null)
insert into publishers values ('1500', 'Südwind Verlag', 'Wien', null, 'Austria', '1998-07-15 08:54', 0x89504e470d0a1a0a0e6451e15c705c15f173541b4438a25cf76312d4eeb3c2246879)
insert into publishers values ('1600', 'Rio Claro Editora', 'São Paulo', null, 'Brazil', null, 0x89504e470d0a1a0abf00b3cf8ed13abf129a3097ad96b442d6d1bdef4850c3f465442e)
insert into publishers values ('1700', 'Lakeshore Academic', null, null, null, '2010-09-01 10:20', null)
)sql",
        R"sql(create table authors (
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

insert into authors values ('172-10-1000', 'Bennet', 'Abraham', '408 200-1000', '10 Oak St.', 'Berkeley', 'CA', '94705', 1, '1940-01-01', null)
insert into authors values ('203-13-1377', 'Blotchet-Halls', 'Reginald', '415 237-1613', '107 Elm Ave.', 'Corvallis', 'OR', '97330', 1, '1942-06-12', null)
insert into authors values ('234-16-1754', 'Carson', 'Cheryl', '422 274-2226', '204 Bigge Rd.', 'Oakland', 'CA', '94609', 1, '1944-11-23', null)
insert into authors values ('265-19-2131', 'DeFrance', 'Michel', '429 311-2839', '301 University Ave.', 'Gary', 'IN', '46403', 1, null, null)
insert into authors values ('296-22-2508', 'del Castillo', 'Innes', '436 348-3452', '398 Broadway', 'Ann Arbor', 'MI', '48105', 1, '1948-09-17', null)
insert into authors values ('327-25-2885', 'Dull', 'Ann', '443 385-4065', '495 Seventh Av.', 'Palo Alto', 'CA', '94301', 0, '1950-02-28', 'Ann Dull')
insert into authors values ('358-28-3262', 'Green', 'Marjorie', '450 422-4678', null, 'Nashville', 'TN', '37215', 1, '1952-07-11', null)
insert into authors values ('389-31-3639', 'Greene', 'Morningstar', '457 459-5291', '689 Pine Blvd.', 'Covelo', 'CA', '95428', 1, null, null)
insert into authors values ('420-34-4016', 'Gringlesby', 'Burt', '464 496-5904', '786 Oak St.', 'Lawrence', 'KS', '66044', 1, '1956-05-05', null)
insert into authors values ('451-37-4393', 'Hunter', 'Sheryl', '471 533-6517', '883 Elm Ave.', 'Rockville', 'MD', '20853', 1, '1958-10-16', null)
insert into authors values ('482-40-4770', 'Karsen', 'Livia', '478 570-7130', '980 Bigge Rd.', 'Salt Lake City', 'UT', '84152', 1, '1960-03-27', null)
insert into authors values ('513-43-5147', 'Locksley', 'Charlene', '485 607-7743', '1077 University Ave.', 'San Jose', 'CA', '95128', 0, null, null)
insert into authors values ('544-46-5524', 'MacFeather', 'Stearns', '492 644-8356', '1174 Broadway', 'Menlo Park', 'CA', '94025', 1, '1964-01-21', null)
insert into authors values ('575-49-5901', 'McBadden', 'Heather', '499 681-8969', null, 'Walnut Creek', 'CA', '94595', 1, '1966-06-04', null)
insert into authors values ('606-52-6278', 'O''Leary', 'Michael', '506 718-9582', '1368 Hillview Dr.', 'Vacaville', 'CA', '95688', 1, '1968-11-15', null)
insert into authors values ('637-55-6655', 'Panteley', 'Sylvia', '513 755-1195', '1465 Pine Blvd.', 'Berkeley', 'CA', '94705', 1, null, null)
insert into authors values ('668-58-7032', 'Ringer', 'Albert', '520 792-1808', '1562 Oak St.', 'Corvallis', 'OR', '97330', 1, '1972-09-09', null)
insert into authors values ('699-61-7409', 'Ringer', 'Anne', '527 829-2421', '1659 Elm Ave.', 'Oakland', 'CA', '94609', 0, '1974-02-20', null)
insert into authors values ('730-64-7786', 'Smith', 'Meander', '534 866-3034', '1756 Bigge Rd.', 'Gary', 'IN', '46403', 1, '1976-07-03', null)
insert into authors values ('761-67-8163', 'Straight', 'Dean', '541 203-3647', '1853 University Ave.', 'Ann Arbor', 'MI', '48105', 1, null, null)
insert into authors values ('792-70-8540', 'Stringer', 'Dirk', '548 240-4260', null, 'Palo Alto', 'CA', '94301', 1, '1980-05-25', null)
insert into authors values ('823-73-8917', 'White', 'Johnson', '555 277-4873', '2047 Seventh Av.', 'Nashville', 'TN', '37215', 1, '1982-10-08', null)
insert into authors values ('854-76-9294', 'Yokomoto', 'Akiko', '562 314-5486', '2144 Hillview Dr.', 'Covelo', 'CA', '95428', 1, '1984-03-19', '横元 昭子')
insert into authors values ('885-79-9671', 'Fernández', 'Lucía', '569 351-6099', '2241 Pine Blvd.', 'Lawrence', 'KS', '66044', 0, null, 'Lucía Fernández')
insert into authors values ('916-82-1048', 'Weiß', 'Jürgen', '576 388-6712', '2338 Oak St.', 'Rockville', 'MD', '20853', 1, '1988-01-13', 'Jürgen Weiß')
)sql",
        R"sql(create table titles (
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

insert into titles values ('BU1000', 'The Busy Executive''s Database Guide', 'business', '0736', 2.99, 1000.00, 10, 100, 'An overview of the busy executive''s database guide, with practical examples and an index. ', '1985-01-01 09:00:00.000', 1.0, 0.25, 9780000000000, 12345678901234567890)
insert into titles values ('MC1373', 'Cooking with Computers: Surreptitious Balance Sheets', 'mod_cook', '0877', 9.95, 4000.00, 12, 4191, 'An overview of cooking with computers: surreptitious balance sheets, with practical examples and an index. An overview of cooking with computers: surreptitious balance sheets, with practical examples and an index. ', '1986-02-04 10:07:11.003', null, 0.29, 9780007919331, 100000000000000000001)
insert into titles values ('PC1746', 'You Can Combat Computer Stress!', 'popular_comp', '1389', 16.00, 7000.00, 14, 8282, 'An overview of you can combat computer stress!, with practical examples and an index. An overview of you can combat computer stress!, with practical examples and an index. An overview of you can combat computer stress!, with practical examples and an index. ', '1987-03-07 11:14:22.007', 3.4, 0.32, 9780015838662, null)
insert into titles values ('PS2119', 'Straight Talk About Computers', 'psychology', '1622', 23.49, 10000.00, 16, 12373, null, '1988-04-10 12:21:33.010', 4.1, 0.36, 9780023757993, 12345678901234567893)
insert into titles values ('TC2492', 'Silicon Valley Gastronomic Treats', 'trad_cook', '1756', 2.50, 13000.00, 18, 16464, 'An overview of silicon valley gastronomic treats, with practical examples and an index. An overview of silicon valley gastronomic treats, with practical examples and an index. ', '1989-05-13 13:28:44.500', 5.8, 0.40, 9780031677324, 100000000000000000004)
insert into titles values ('UN2865', 'The Gourmet Microwave', 'UNDECIDED', '9901', 9.75, 1000.00, 20, 20555, 'An overview of the gourmet microwave, with practical examples and an index. An overview of the gourmet microwave, with practical examples and an index. An overview of the gourmet microwave, with practical examples and an index. ', '1990-06-16 14:35:55.997', null, null, 9780039596655, null)
insert into titles values ('HI3238', 'The Psychology of Computer Cooking', 'history', '9952', 16.99, 4000.00, 22, 2646, 'An overview of the psychology of computer cooking, with practical examples and an index. ', '1991-07-19 15:42:06.000', 7.2, 0.47, null, 12345678901234567896)
insert into titles values ('TR3611', 'But Is It User Friendly?', 'travel', '9999', 23.95, 7000.00, 24, 6737, 'An overview of but is it user friendly?, with practical examples and an index. An overview of but is it user friendly?, with practical examples and an index. ', '1992-08-22 16:49:17.003', 8.9, 0.51, 9780055435317, 100000000000000000007)
insert into titles values ('BU3984', 'Secrets of Silicon Valley', 'business', '0321', null, null, null, null, null, '1993-09-25 09:56:28.007', 9.6, 0.55, 9780063354648, null)
insert into titles values ('MC4357', 'Net Etiquette', 'mod_cook', '0456', 9.49, 13000.00, 12, 14919, 'An overview of net etiquette, with practical examples and an index. ', '1994-10-28 10:03:39.010', null, 0.58, 9780071273979, 12345678901234567899)
insert into titles values ('PC4730', 'Computer Phobic AND Non-Phobic Individuals: Behavior Variations', 'popular_comp', null, 16.50, 1000.00, 14, 19010, 'An overview of computer phobic and non-phobic individuals: behavior variations, with practical examples and an index. An overview of computer phobic and non-phobic individuals: behavior variations, with practical examples and an index. ', '1995-11-03 11:10:50.500', 2.0, 0.62, 9780079193310, 100000000000000000010)
insert into titles values ('PS5103', 'Is Anger the Enemy?', 'psychology', '0620', 23.75, 4000.00, 16, 1101, 'An overview of is anger the enemy?, with practical examples and an index. An overview of is anger the enemy?, with practical examples and an index. An overview of is anger the enemy?, with practical examples and an index. ', '1996-12-06 12:17:01.997', 3.7, null, 9780087112641, null)
insert into titles values ('TC5476', 'Life Without Fear', 'trad_cook', '0777', 2.99, 7000.00, 18, 5192, 'An overview of life without fear, with practical examples and an index. ', '1997-01-09 13:24:12.000', 4.4, 0.69, 9780095031972, 12345678901234567892)
insert into titles values ('UN5849', 'Prolonged Data Deprivation: Four Case Studies', 'UNDECIDED', '0815', 9.95, 10000.00, 20, 9283, null, '1998-02-12 14:31:23.003', null, 0.73, null, 100000000000000000013)
insert into titles values ('HI6222', 'Emotional Security: A New Algorithm', 'history', '1001', 16.00, 13000.00, 22, 13374, 'An overview of emotional security: a new algorithm, with practical examples and an index. An overview of emotional security: a new algorithm, with practical examples and an index. An overview of emotional security: a new algorithm, with practical examples and an index. ', '1999-03-15 15:38:34.007', 6.8, 0.77, 9780110870634, null)
insert into titles values ('TR6595', 'Onions, Leeks, and Garlic: Cooking Secrets of the Mediterranean', 'travel', '1120', 23.49, 1000.00, 24, 17465, 'An overview of onions, leeks, and garlic: cooking secrets of the mediterranean, with practical examples and an index. ', '2000-04-18 16:45:45.010', 7.5, 0.80, 9780118789965, 12345678901234567895)
insert into titles values ('BU6968', 'Fifty Years in Buckingham Palace Kitchens', 'business', '1234', 2.50, 4000.00, 10, 21556, 'An overview of fifty years in buckingham palace kitchens, with practical examples and an index. An overview of fifty years in buckingham palace kitchens, with practical examples and an index. ', '2001-05-21 09:52:56.500', 8.2, 0.84, 9780126709296, 100000000000000000016)
insert into titles values ('MC7341', 'Sushi, Anyone?', 'mod_cook', '1450', null, null, null, null, 'An overview of sushi, anyone?, with practical examples and an index. An overview of sushi, anyone?, with practical examples and an index. An overview of sushi, anyone?, with practical examples and an index. ', '2002-06-24 10:59:07.997', null, null, 9780134628627, null)
insert into titles values ('PC7714', 'Tides of the Northern Coast', 'popular_comp', '1500', 16.99, 10000.00, 14, 7738, null, '2003-07-27 11:06:18.000', 1.6, 0.92, 9780142547958, 12345678901234567898)
insert into titles values ('PS8087', 'A Field Guide to Prairie Grasses', 'psychology', '1600', 23.95, 13000.00, 16, 11829, 'An overview of a field guide to prairie grasses, with practical examples and an index. An overview of a field guide to prairie grasses, with practical examples and an index. ', '2004-08-02 12:13:29.003', 2.3, 0.95, 9780150467289, 100000000000000000019)
insert into titles values ('TC8460', 'Quiet Harbors: Essays', 'trad_cook', '1700', 2.00, 1000.00, 18, 15920, 'An overview of quiet harbors: essays, with practical examples and an index. An overview of quiet harbors: essays, with practical examples and an index. An overview of quiet harbors: essays, with practical examples and an index. ', '2005-09-05 13:20:40.007', 3.0, 0.99, null, null)
insert into titles values ('UN8833', 'The Lighthouse Keeper''s Almanac', 'UNDECIDED', null, 9.49, 4000.00, 20, 20011, 'An overview of the lighthouse keeper''s almanac, with practical examples and an index. ', '2006-10-08 14:27:51.010', null, 1.03, 9780166305951, 12345678901234567891)
insert into titles values ('HI9206', 'Maple Syrup Through the Seasons', 'history', '0877', 16.50, 7000.00, 22, 2102, 'An overview of maple syrup through the seasons, with practical examples and an index. An overview of maple syrup through the seasons, with practical examples and an index. ', '2007-11-11 15:34:02.500', 5.4, 1.06, 9780174225282, 100000000000000000022)
insert into titles values ('TR9579', 'Stone and Water: A History of Quarries', 'travel', '1389', 23.75, 10000.00, 24, 6193, null, '2008-12-14 16:41:13.997', 6.1, null, 9780182144613, null)
insert into titles values ('BU9952', 'Datenbanken für Einsteiger', 'business', '1622', 2.99, 13000.00, 10, 10284, 'An overview of datenbanken für einsteiger, with practical examples and an index. ', '2009-01-17 09:48:24.000', 7.8, 1.14, 9780190063944, 12345678901234567894)
insert into titles values ('MC1325', 'Receitas do Rio Claro', 'mod_cook', '1756', 9.95, 1000.00, 12, 14375, 'An overview of receitas do rio claro, with practical examples and an index. An overview of receitas do rio claro, with practical examples and an index. ', '2010-02-20 10:55:35.003', null, 1.17, 9780197983275, 100000000000000000025)
insert into titles values ('PC1698', 'Understanding Fixed-Point Arithmetic', 'popular_comp', '9901', null, null, null, null, 'An overview of understanding fixed-point arithmetic, with practical examples and an index. An overview of understanding fixed-point arithmetic, with practical examples and an index. An overview of understanding fixed-point arithmetic, with practical examples and an index. ', '2011-03-23 11:02:46.007', 9.2, 1.21, 9780205902606, null)
insert into titles values ('PS2071', 'Concurrency Without Tears', 'psychology', '9952', 23.49, 7000.00, 16, 557, 'An overview of concurrency without tears, with practical examples and an index. ', '2012-04-26 12:09:57.010', 1.9, 1.25, null, 12345678901234567897)
insert into titles values ('TC2444', 'The Art of the Stored Procedure', 'trad_cook', '9999', 2.50, 10000.00, 18, 4648, null, '2013-05-01 13:16:08.500', 2.6, 1.29, 9780221741268, 100000000000000000028)
insert into titles values ('UN2817', 'Small Business Accounting Made Plain', 'UNDECIDED', '0321', 9.75, 13000.00, 20, 8739, 'An overview of small business accounting made plain, with practical examples and an index. An overview of small business accounting made plain, with practical examples and an index. An overview of small business accounting made plain, with practical examples and an index. ', '2014-06-04 14:23:19.997', null, null, 9780229660599, null)
)sql",
        R"sql(create table titleauthor (
    au_id varchar(11) not null,
    title_id varchar(6) not null,
    au_ord tinyint null,
    royaltyper int null,
    primary key (au_id, title_id))

insert into titleauthor values ('172-10-1000', 'BU1000', 1, 100)
insert into titleauthor values ('389-31-3639', 'MC1373', 1, 100)
insert into titleauthor values ('606-52-6278', 'PC1746', 1, 100)
insert into titleauthor values ('823-73-8917', 'PS2119', 1, 100)
insert into titleauthor values ('265-19-2131', 'TC2492', 1, 100)
insert into titleauthor values ('482-40-4770', 'UN2865', 1, 100)
insert into titleauthor values ('699-61-7409', 'HI3238', 1, 100)
insert into titleauthor values ('916-82-1048', 'TR3611', 1, 100)
insert into titleauthor values ('358-28-3262', 'BU3984', 1, 100)
insert into titleauthor values ('575-49-5901', 'MC4357', 1, 100)
insert into titleauthor values ('792-70-8540', 'PC4730', 1, 100)
insert into titleauthor values ('234-16-1754', 'PS5103', 1, 100)
insert into titleauthor values ('451-37-4393', 'TC5476', 1, 100)
insert into titleauthor values ('668-58-7032', 'UN5849', 1, 100)
insert into titleauthor values ('885-79-9671', 'HI6222', 1, 100)
insert into titleauthor values ('327-25-2885', 'TR6595', 1, 100)
insert into titleauthor values ('544-46-5524', 'BU6968', 1, 100)
insert into titleauthor values ('761-67-8163', 'MC7341', 1, 100)
insert into titleauthor values ('203-13-1377', 'PC7714', 1, 100)
insert into titleauthor values ('420-34-4016', 'PS8087', 1, 100)
insert into titleauthor values ('637-55-6655', 'TC8460', 1, 100)
insert into titleauthor values ('854-76-9294', 'UN8833', 1, 100)
insert into titleauthor values ('296-22-2508', 'HI9206', 1, 100)
insert into titleauthor values ('513-43-5147', 'TR9579', 1, 100)
insert into titleauthor values ('730-64-7786', 'BU9952', 1, 100)
insert into titleauthor values ('172-10-1000', 'MC1325', 1, 100)
insert into titleauthor values ('389-31-3639', 'PC1698', 1, 100)
insert into titleauthor values ('606-52-6278', 'PS2071', 1, 100)
insert into titleauthor values ('823-73-8917', 'TC2444', 1, 100)
insert into titleauthor values ('265-19-2131', 'UN2817', 1, 100)
insert into titleauthor values ('482-40-4770', 'BU1000', 2, 40)
insert into titleauthor values ('699-61-7409', 'MC1373', 2, 40)
insert into titleauthor values ('916-82-1048', 'PC1746', 2, 40)
insert into titleauthor values ('358-28-3262', 'PS2119', 2, 40)
insert into titleauthor values ('575-49-5901', 'TC2492', 2, 40)
insert into titleauthor values ('792-70-8540', 'UN2865', 2, 40)
insert into titleauthor values ('234-16-1754', 'HI3238', 2, 40)
insert into titleauthor values ('451-37-4393', 'TR3611', 2, 40)
insert into titleauthor values ('668-58-7032', 'BU3984', 2, 40)
insert into titleauthor values ('885-79-9671', 'MC4357', 2, 40)
)sql",
        R"sql(create table sales (
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

insert into sales values ('6380', '6871', '1992-01-01 08:00:00:000', 5, 'Net 60', 'BU1000', null, '1992-02-01 10:00:29.998', '08:00:00.000', 9.990000, 0xa0000000)
insert into sales values ('7066', '722a', '1993-02-06 09:07:13:037', 12, 'Net 30', 'TR3611', 1.1237, '1993-03-06 11:03:29.998', '09:11:17.003', 11.323333, null)
insert into sales values ('7067', 'A2976', '1994-03-11 10:14:26:074', 19, 'ON invoice', 'HI6222', 2.2474, '1994-04-11 12:06:29.998', null, 12.656667, 0xa003c482)
insert into sales values ('7131', 'QA7442.3', '1995-04-16 11:21:39:111', 26, 'Net 30', 'UN8833', 0.3711, null, '11:33:51.000', 13.990000, 0xa005a6c3)
insert into sales values ('7896', 'D4482', '1992-05-21 12:28:52:148', 33, 'Net 60', 'TC2444', 1.4948, '1992-06-21 14:12:29.998', '12:44:08.003', 15.323333, 0xa0078904)
insert into sales values ('8042', 'P2121', '1993-06-26 13:35:05:185', 40, 'Net 30', 'UN2865', null, '1993-07-26 15:15:29.998', '13:55:25.007', 16.656667, 0xa0096b45)
insert into sales values ('6380', 'N914008', '1994-07-03 14:42:18:222', 47, 'ON invoice', 'TC5476', 0.7422, '1994-08-03 16:18:29.998', null, 17.990000, 0xa00b4d86)
insert into sales values ('7066', 'P723', '1995-08-08 15:49:31:259', 54, 'Net 30', 'PS8087', 1.8659, '1995-09-08 17:21:29.998', '15:17:59.003', null, null)
insert into sales values ('7067', 'X999', '1992-09-13 16:56:44:296', 61, 'Net 60', 'PC1698', 2.9896, '1992-10-13 10:24:29.998', '16:28:16.007', 20.656666, 0xa00f1208)
insert into sales values ('7131', 'QQ2299', '1993-10-18 17:03:57:333', 68, 'Net 30', 'PS2119', 0.1133, '1993-11-18 11:27:29.998', '08:39:33.000', 21.990000, 0xa010f449)
insert into sales values ('7896', 'TQ456', '1994-11-23 08:10:10:370', 5, 'ON invoice', 'PC4730', null, null, null, 23.323333, 0xa012d68a)
insert into sales values ('8042', '423LL922', '1995-12-28 09:17:23:407', 12, 'Net 30', 'MC7341', 2.3607, '1995-01-28 13:33:29.998', '10:01:07.007', 24.656666, 0xa014b8cb)
insert into sales values ('6380', '6871-1', '1992-01-05 10:24:36:444', 19, 'Net 60', 'BU9952', 0.4844, '1992-02-05 14:36:29.998', '11:12:24.000', 25.990000, 0xa0169b0c)
insert into sales values ('7066', '722a-1', '1993-02-10 11:31:49:481', 26, 'Net 30', 'MC1373', 1.6081, '1993-03-10 15:39:29.998', '12:23:41.003', 27.323333, null)
insert into sales values ('7067', 'A2976-1', '1994-03-15 12:38:02:518', 33, 'ON invoice', 'BU3984', 2.7318, '1994-04-15 16:42:29.998', null, 28.656666, 0xa01a5f8e)
insert into sales values ('7131', 'QA7442.3-1', '1995-04-20 13:45:15:555', 40, 'Net 30', 'TR6595', null, '1995-05-20 17:45:29.998', '14:45:15.000', null, 0xa01c41cf)
insert into sales values ('7896', 'D4482-1', '1992-05-25 14:52:28:592', 47, 'Net 60', 'HI9206', 1.9792, '1992-06-25 10:48:29.998', '15:56:32.003', 31.323333, 0xa01e2410)
insert into sales values ('8042', 'P2121-1', '1993-06-02 15:59:41:629', 54, 'Net 30', 'UN2817', 2.1029, null, '16:07:49.007', 32.656666, 0xa0200651)
insert into sales values ('6380', 'N914008-1', '1994-07-07 16:06:54:666', 61, 'ON invoice', 'HI3238', 0.2266, '1994-08-07 12:54:29.998', null, 33.989999, 0xa021e892)
insert into sales values ('7066', 'P723-1', '1995-08-12 17:13:07:703', 68, 'Net 30', 'UN5849', 1.3503, '1995-09-12 13:57:29.998', '09:29:23.003', 35.323333, null)
insert into sales values ('7067', 'X999-1', '1992-09-17 08:20:20:740', 5, 'Net 60', 'TC8460', null, '1992-10-17 14:00:29.998', '10:40:40.007', 36.656666, 0xa025ad14)
insert into sales values ('7131', 'QQ2299-1', '1993-10-22 09:27:33:777', 12, 'Net 30', 'PS2071', 0.5977, '1993-11-22 15:03:29.998', '11:51:57.000', 37.989999, 0xa0278f55)
insert into sales values ('7896', 'TQ456-1', '1994-11-27 10:34:46:814', 19, 'ON invoice', 'TC2492', 1.7214, '1994-12-27 16:06:29.998', null, 39.323333, 0xa0297196)
insert into sales values ('8042', '423LL922-1', '1995-12-04 11:41:59:851', 26, 'Net 30', 'PS5103', 2.8451, '1995-01-04 17:09:29.998', '13:13:31.007', null, 0xa02b53d7)
insert into sales values ('6380', '6871-2', '1992-01-09 12:48:12:888', 33, 'Net 60', 'PC7714', 0.9688, null, '14:24:48.000', 41.989999, 0xa02d3618)
insert into sales values ('7066', '722a-2', '1993-02-14 13:55:25:925', 40, 'Net 30', 'MC1325', null, '1993-03-14 11:15:29.998', '15:35:05.003', 43.323333, null)
insert into sales values ('7067', 'A2976-2', '1994-03-19 14:02:38:962', 47, 'ON invoice', 'PC1746', 2.2162, '1994-04-19 12:18:29.998', null, 44.656666, 0xa030fa9a)
insert into sales values ('7131', 'QA7442.3-2', '1995-04-24 15:09:51:999', 54, 'Net 30', 'MC4357', 0.3399, '1995-05-24 13:21:29.998', '08:57:39.000', 45.989999, 0xa032dcdb)
insert into sales values ('7896', 'D4482-2', '1992-05-01 16:16:04:036', 61, 'Net 60', 'BU6968', 1.4636, '1992-06-01 14:24:29.998', '09:08:56.003', 47.323332, 0xa034bf1c)
insert into sales values ('8042', 'P2121-2', '1993-06-06 17:23:17:073', 68, 'Net 30', 'TR9579', 2.5873, '1993-07-06 15:27:29.998', '10:19:13.007', 48.656666, 0xa036a15d)
insert into sales values ('6380', 'N914008-2', '1994-07-11 08:30:30:110', 5, 'ON invoice', 'BU1000', null, '1994-08-11 16:30:29.998', null, 49.989999, 0xa038839e)
insert into sales values ('7066', 'P723-2', '1995-08-16 09:37:43:147', 12, 'Net 30', 'TR3611', 1.8347, null, '12:41:47.003', null, null)
insert into sales values ('7067', 'X999-2', '1992-09-21 10:44:56:184', 19, 'Net 60', 'HI6222', 2.9584, '1992-10-21 10:36:29.998', '13:52:04.007', 52.656666, 0xa03c4820)
insert into sales values ('7131', 'QQ2299-2', '1993-10-26 11:51:09:221', 26, 'Net 30', 'UN8833', 0.0821, '1993-11-26 11:39:29.998', '14:03:21.000', 53.989999, 0xa03e2a61)
insert into sales values ('7896', 'TQ456-2', '1994-11-03 12:58:22:258', 33, 'ON invoice', 'TC2444', 1.2058, '1994-12-03 12:42:29.998', null, 55.323332, 0xa0400ca2)
insert into sales values ('8042', '423LL922-2', '1995-12-08 13:05:35:295', 40, 'Net 30', 'UN2865', null, '1995-01-08 13:45:29.998', '16:25:55.007', 56.656666, 0xa041eee3)
)sql",
        R"sql(create procedure titles_by_publisher @pub_id char(4)
as
    /* The titles of one publisher, newest first. */
    select title_id, title, type, price, pubdate
    from titles
    where pub_id = @pub_id
    order by pubdate desc
)sql",
        R"sql(create procedure title_sales
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
)sql",
        R"sql(create procedure authors_in_state @state char(2) = 'CA', @count int = null output
as
    select @count = count(*) from authors where state = @state
    select au_id, au_lname, au_fname, city, contract
    from authors
    where state = @state
    order by au_lname, au_fname
    return @count
)sql",
        R"sql(create procedure raise_prices @type char(12), @percent numeric(5,2) = 10.00
as
    if @percent <= 0 or @percent > 100
    begin
        raiserror 20001 'The percentage must be between 0 and 100.'
        return -1
    end
    update titles set price = price * (1 + @percent / 100) where type = @type and price is not null
    print 'Prices raised for %1! titles.', @@rowcount
    return 0
)sql",
    };
    return kBatches;
}

} // namespace devserver
